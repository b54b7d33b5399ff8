// The SDL 1.2 this build links (Debian's on Linux, the cross-built SDL.dll on Windows):
// what the lift's display relies on, and Debian's fixes to the BMP loader being in.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SDL.h"

namespace {

char dummy_video[] = "SDL_VIDEODRIVER=dummy";
char no_video[] = "SDL_VIDEODRIVER=no_such_video_driver";

constexpr int kWidth = 200;
constexpr int kHeight = 308;

struct Rgb {
  uint8_t r, g, b;
};

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A Windows BMP with a 40-byte info header, rows stored bottom-up and padded to 4 bytes.
// bits_per_pixel 24 takes colour(x, y); 8 (or another count) takes index(x, y) into
// `palette`, whose size is written as the count of colours used.
struct BmpSpec {
  int width = 1;
  int height = 1;
  int bits_per_pixel = 24;
  std::vector<Rgb> palette = {};
  uint32_t colours_used = 0;  // 0: the palette's size
  Rgb (*colour)(int x, int y) = nullptr;
  uint8_t (*index)(int x, int y) = nullptr;
};

std::vector<uint8_t> MakeBmp(const BmpSpec& s) {
  const int bpp = s.bits_per_pixel;
  const size_t row_bytes = ((static_cast<size_t>(s.width) * bpp + 31) / 32) * 4;
  const uint32_t header = 14 + 40 + 4 * static_cast<uint32_t>(s.palette.size());
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  PutLe(out, header + static_cast<uint32_t>(row_bytes * s.height), 4);
  PutLe(out, 0, 4);
  PutLe(out, header, 4);
  PutLe(out, 40, 4);
  PutLe(out, static_cast<uint32_t>(s.width), 4);
  PutLe(out, static_cast<uint32_t>(s.height), 4);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<uint32_t>(bpp), 2);
  PutLe(out, 0, 4);  // no compression
  PutLe(out, static_cast<uint32_t>(row_bytes * s.height), 4);
  PutLe(out, 2835, 4);
  PutLe(out, 2835, 4);
  PutLe(out, s.colours_used != 0 ? s.colours_used : static_cast<uint32_t>(s.palette.size()), 4);
  PutLe(out, 0, 4);
  for (const Rgb& c : s.palette) {
    out.insert(out.end(), {c.b, c.g, c.r, 0});
  }
  for (int y = s.height - 1; y >= 0; --y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < s.width; ++x) {
      if (bpp == 24) {
        const Rgb c = s.colour(x, y);
        row.insert(row.end(), {c.b, c.g, c.r});
      } else {
        row.push_back(s.index ? s.index(x, y) : 0);
      }
    }
    row.resize(row_bytes, 0);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// Red top-left quarter, green top-right, blue bottom-left, white elsewhere: tells
// rows and columns apart, so an upside-down or mirrored load shows.
Rgb Quadrants(int x, int y) {
  const bool left = x < kWidth / 2;
  const bool top = y < kHeight / 2;
  if (top && left) return {255, 0, 0};
  if (top) return {0, 255, 0};
  if (left) return {0, 0, 255};
  return {255, 255, 255};
}

Rgb Cyan(int, int) { return {0, 255, 255}; }
uint8_t IndexTwo(int, int) { return 2; }
uint8_t IndexOne(int, int) { return 1; }

Rgb PixelAt(SDL_Surface* surface, int x, int y) {
  const auto* row = static_cast<const uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
  uint32_t value = 0;
  const int bytes = surface->format->BytesPerPixel;
  for (int i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(row[x * bytes + i]) << (8 * i);
  Rgb c{};
  SDL_GetRGB(value, surface->format, &c.r, &c.g, &c.b);
  return c;
}

// Within a tolerance: the dummy driver's window is 8-bit, with a 3-3-2 colour cube.
::testing::AssertionResult IsColour(SDL_Surface* surface, int x, int y, Rgb want) {
  constexpr int kTolerance = 40;
  const Rgb got = PixelAt(surface, x, y);
  const auto near = [](uint8_t a, uint8_t b) { return a > b ? a - b <= kTolerance : b - a <= kTolerance; };
  if (near(got.r, want.r) && near(got.g, want.g) && near(got.b, want.b)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << int{got.r} << ","
                                       << int{got.g} << "," << int{got.b} << ", expected " << int{want.r}
                                       << "," << int{want.g} << "," << int{want.b};
}

class Sdl : public ::testing::Test {
 protected:
  void SetUp() override { SDL_putenv(dummy_video); }
  void TearDown() override {
    SDL_Quit();
    SDL_putenv(dummy_video);
    for (const std::string& name : files_) std::remove(name.c_str());
  }

  // Writes the bytes to a file in the working directory and loads it as the lift does.
  SDL_Surface* Load(const std::string& name, const std::vector<uint8_t>& bytes) {
    files_.push_back(name);
    FILE* f = std::fopen(name.c_str(), "wb");
    if (f == nullptr) return nullptr;
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (written != bytes.size()) return nullptr;
    return SDL_LoadBMP_RW(SDL_RWFromFile(name.c_str(), "rb"), 1);
  }

  std::vector<std::string> files_;
};

// --- video, with the dummy driver ---

TEST_F(Sdl, VideoModeBeforeInitBringsVideoUpAsAFramelessSoftwareSurface) {
  ASSERT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  SDL_Surface* screen = SDL_SetVideoMode(kWidth, kHeight, 0, SDL_NOFRAME);
  ASSERT_NE(screen, nullptr) << SDL_GetError();
  EXPECT_EQ(screen->w, kWidth);
  EXPECT_EQ(screen->h, kHeight);
  EXPECT_NE(screen->flags & SDL_NOFRAME, 0u);
  EXPECT_EQ(screen->flags & SDL_HWSURFACE, 0u);
  EXPECT_NE(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  // Start-up initialises again once the window is open; that must not fail.
  EXPECT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
  EXPECT_EQ(SDL_GetVideoSurface(), screen);
}

TEST_F(Sdl, UnknownVideoDriverFailsWithAReason) {
  SDL_putenv(no_video);
  EXPECT_EQ(SDL_SetVideoMode(kWidth, kHeight, 0, SDL_NOFRAME), nullptr);
  EXPECT_STRNE(SDL_GetError(), "");
  EXPECT_LT(SDL_Init(SDL_INIT_VIDEO), 0);
}

TEST_F(Sdl, ModeCanBeSetAgainAfterQuit) {
  ASSERT_NE(SDL_SetVideoMode(kWidth, kHeight, 0, SDL_NOFRAME), nullptr) << SDL_GetError();
  SDL_Quit();
  SDL_Surface* screen = SDL_SetVideoMode(kWidth, kHeight, 0, SDL_NOFRAME);
  ASSERT_NE(screen, nullptr) << SDL_GetError();
  EXPECT_EQ(screen->w, kWidth);
}

// --- BMP pictures: loading, blitting, flipping ---

TEST_F(Sdl, PictureLoadsTheRightWayUpAndBlitsOntoTheWindow) {
  SDL_Surface* picture = Load("sdl_test_quadrants.bmp", MakeBmp({.width = kWidth, .height = kHeight,
                                                                 .colour = Quadrants}));
  ASSERT_NE(picture, nullptr) << SDL_GetError();
  EXPECT_EQ(picture->w, kWidth);
  EXPECT_EQ(picture->h, kHeight);
  EXPECT_TRUE(IsColour(picture, 0, 0, {255, 0, 0}));
  EXPECT_TRUE(IsColour(picture, kWidth - 1, 0, {0, 255, 0}));
  EXPECT_TRUE(IsColour(picture, 0, kHeight - 1, {0, 0, 255}));

  SDL_Surface* screen = SDL_SetVideoMode(kWidth, kHeight, 0, SDL_NOFRAME);
  ASSERT_NE(screen, nullptr) << SDL_GetError();
  SDL_Rect at{0, 0, 200, 200};
  ASSERT_EQ(SDL_UpperBlit(picture, nullptr, screen, &at), 0) << SDL_GetError();
  EXPECT_EQ(SDL_Flip(screen), 0);
  // The rectangle's size is not a clip: the whole picture lands, below row 200 too.
  EXPECT_TRUE(IsColour(screen, 0, 0, {255, 0, 0}));
  EXPECT_TRUE(IsColour(screen, kWidth - 1, kHeight / 2 - 1, {0, 255, 0}));
  EXPECT_TRUE(IsColour(screen, 0, kHeight - 1, {0, 0, 255}));
  EXPECT_TRUE(IsColour(screen, kWidth - 1, kHeight - 1, {255, 255, 255}));
  SDL_FreeSurface(picture);
}

TEST_F(Sdl, LargerPictureIsClippedToTheWindow) {
  SDL_Surface* picture = Load("sdl_test_large.bmp", MakeBmp({.width = 321, .height = 555, .colour = Cyan}));
  ASSERT_NE(picture, nullptr) << SDL_GetError();
  SDL_Surface* screen = SDL_SetVideoMode(kWidth, kHeight, 0, SDL_NOFRAME);
  ASSERT_NE(screen, nullptr) << SDL_GetError();
  SDL_Rect at{0, 0, 200, 200};
  ASSERT_EQ(SDL_UpperBlit(picture, nullptr, screen, &at), 0) << SDL_GetError();
  EXPECT_EQ(at.w, kWidth);
  EXPECT_EQ(at.h, kHeight);
  EXPECT_TRUE(IsColour(screen, kWidth - 1, kHeight - 1, {0, 255, 255}));
  SDL_FreeSurface(picture);
}

TEST_F(Sdl, PalettedPictureLoads) {
  SDL_Surface* picture = Load("sdl_test_paletted.bmp",
                              MakeBmp({.width = 7, .height = 3, .bits_per_pixel = 8,
                                       .palette = {{0, 0, 0}, {10, 20, 30}}, .index = IndexOne}));
  ASSERT_NE(picture, nullptr) << SDL_GetError();
  EXPECT_EQ(picture->w, 7);
  EXPECT_TRUE(IsColour(picture, 6, 2, {10, 20, 30}));
  SDL_FreeSurface(picture);
}

TEST_F(Sdl, MissingPictureIsNoSurfaceAndNoCrash) {
  SDL_RWops* source = SDL_RWFromFile("sdl_test_no_such_picture.bmp", "rb");
  EXPECT_EQ(source, nullptr);
  EXPECT_EQ(SDL_LoadBMP_RW(source, 1), nullptr);
  EXPECT_STRNE(SDL_GetError(), "");
}

TEST_F(Sdl, TruncatedOrForeignFileIsRefused) {
  std::vector<uint8_t> bmp = MakeBmp({.width = 16, .height = 16, .colour = Cyan});
  EXPECT_EQ(Load("sdl_test_header_only.bmp", {bmp.begin(), bmp.begin() + 30}), nullptr);
  EXPECT_EQ(Load("sdl_test_empty.bmp", {}), nullptr);
  EXPECT_EQ(Load("sdl_test_text.bmp", {'h', 'e', 'l', 'l', 'o'}), nullptr);
}

// --- Debian's fixes to the BMP loader (missing from the bare upstream release) ---

TEST_F(Sdl, PixelOutsideThePaletteIsRefused) {
  // Two colours, pixels of colour 2.
  EXPECT_EQ(Load("sdl_test_out_of_palette.bmp",
                 MakeBmp({.width = 4, .height = 2, .bits_per_pixel = 8,
                          .palette = {{0, 0, 0}, {255, 255, 255}}, .index = IndexTwo})),
            nullptr);
}

TEST_F(Sdl, MoreColoursThanTheDepthAllowsIsRefused) {
  // An 8-bit picture claiming 300 colours would overrun the 256-entry palette.
  EXPECT_EQ(Load("sdl_test_too_many_colours.bmp",
                 MakeBmp({.width = 4, .height = 2, .bits_per_pixel = 8, .palette = std::vector<Rgb>(300),
                          .colours_used = 300, .index = IndexOne})),
            nullptr);
}

TEST_F(Sdl, UnsupportedDepthsAreRefused) {
  for (int bpp : {0, 2, 3, 5, 6, 7}) {
    SCOPED_TRACE(bpp);
    EXPECT_EQ(Load("sdl_test_depth.bmp", MakeBmp({.width = 4, .height = 2, .bits_per_pixel = bpp,
                                                  .palette = {{0, 0, 0}, {255, 255, 255}}})),
              nullptr);
  }
}

}  // namespace
