// Corrupt cabin pictures: whatever a picture file holds, an arrival draws it or
// nothing, never reads outside it, and still stops the motor. Mutants of small valid
// pictures of every depth (header fields set to extremes, random bytes, truncation),
// from a fixed seed so that a failure can be replayed.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "SDL.h"
#include "lift_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSeed = 20261208;
constexpr int kMutantsPerSeed = 80;  // 5 seeds: 400 mutants

void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// Offsets in a BMP file with a 40-byte information header.
constexpr size_t kFileSize = 2, kPixelOffset = 10, kHeaderSize = 14, kWidth = 18, kHeight = 22,
                 kPlanes = 26, kBitCount = 28, kCompression = 30, kImageSize = 34, kColorsUsed = 46;
constexpr size_t kHeaders = 54;

// A valid picture of the given depth with a stripe pattern.
Bytes Picture(int width, int height, int bits) {
  const int colors = bits <= 8 ? 1 << bits : 0;
  const size_t row = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  Bytes b(kHeaders + colors * 4 + row * height, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, kFileSize, static_cast<uint32_t>(b.size()));
  Put32(b, kPixelOffset, static_cast<uint32_t>(kHeaders + colors * 4));
  Put32(b, kHeaderSize, 40);
  Put32(b, kWidth, width);
  Put32(b, kHeight, height);
  Put16(b, kPlanes, 1);
  Put16(b, kBitCount, bits);
  Put32(b, kImageSize, static_cast<uint32_t>(row * height));
  Put32(b, kColorsUsed, colors);
  for (int c = 0; c < colors; ++c) Put32(b, kHeaders + c * 4, 0x00102030u * (c + 1));
  for (size_t i = kHeaders + colors * 4; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7);
  return b;
}

constexpr uint32_t kExtremes[] = {0,          1,          2,          0x7FFF,     0x8000,
                                  0xFFFF,     0x10000,    0x7FFFFFFF, 0x80000000, 0x80000001,
                                  0xFFFFFFFF, 0xFFFFFFFE, 308,        201,        65537};
constexpr size_t kFields[] = {kFileSize, kPixelOffset, kHeaderSize, kWidth, kHeight,
                              kBitCount, kCompression, kImageSize,  kColorsUsed};

Bytes Mutant(Bytes b, std::mt19937& random) {
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  switch (pick(4)) {
    case 0: {  // one header field at an extreme
      const size_t field = kFields[pick(std::size(kFields))];
      const uint32_t value = kExtremes[pick(std::size(kExtremes))];
      if (field == kBitCount) Put16(b, field, value); else Put32(b, field, value);
      break;
    }
    case 1:  // a few random bytes anywhere in the headers and palette
      for (size_t n = 1 + pick(4); n > 0; --n) b[pick(std::min<size_t>(b.size(), 120))] = random();
      break;
    case 2:  // truncated
      b.resize(pick(b.size()));
      break;
    default:  // a field at an extreme and the file cut short
      Put32(b, pick(2) ? kHeight : kWidth, kExtremes[pick(std::size(kExtremes))]);
      b.resize(kHeaders + pick(b.size() - kHeaders));
      break;
  }
  return b;
}

class PictureFuzz : public LiftTest {
 protected:
  void SetUp() override {
    LiftTest::SetUp();
    dir_ = PicturesDir().parent_path() / "lift_fuzz_pictures";
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  void Write(const Bytes& b) {
    std::ofstream(dir_ / IMAGENES_CABINA[0], std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }
  std::filesystem::path dir_;
};

// SDL 1.2 decodes it to a surface of that height with a zero-byte pixel buffer, and
// its blit clipping overflows back to a full 200 x 308 read from that buffer.
TEST_F(PictureFuzz, HeightOfMinusTwoToThe31IsAMissingPicture) {
  Bytes b = Picture(200, 30, 24);
  Put32(b, kHeight, 0x80000000u);
  Write(b);
  Travelling(1);
  Inputs({8});
  Pass();
  EXPECT_TRUE(ScreenBlank());
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0}));
  EXPECT_EQ(lacabinasemueve, 0);
}

TEST_F(PictureFuzz, MutantsOfEveryDepthNeverCrashAndAlwaysStopTheMotor) {
  std::mt19937 random(kSeed);
  int arrivals = 0;
  for (int bits : {1, 4, 8, 24, 32}) {
    const Bytes seed = Picture(23, 17, bits);
    for (int i = 0; i < kMutantsPerSeed; ++i) {
      Write(Mutant(seed, random));
      Travelling(1);
      Inputs({8});
      Pass();
      ASSERT_EQ(lacabinasemueve, 0) << bits << " bits, mutant " << i;
      ++arrivals;
    }
  }
  EXPECT_EQ(MotorBytes(), std::vector<int32_t>(arrivals, 0));
  SDL_Surface* screen = SDL_GetVideoSurface();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->w, 200);
  EXPECT_EQ(screen->h, 308);
}

}  // namespace
