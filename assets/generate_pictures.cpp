// Draws the three cabin pictures (ascensor1.bmp .. ascensor3.bmp) for the 200 x 308
// graphics window: a building section with three floors, the lift shaft on the right,
// the cabin at its floor, and an indicator with the floor number on top.
// Usage: generate_pictures [output folder]
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 200, kHeight = 308;
constexpr int kFloors = 3;
constexpr int kHeaderHeight = 36;
constexpr int kFloorHeight = (kHeight - kHeaderHeight) / kFloors;  // 90
constexpr int kSlab = 6;
constexpr int kShaftLeft = 112, kShaftRight = 190;

struct Color {
  uint8_t r, g, b;
};

constexpr Color kWallTop{238, 231, 218}, kWallBottom{220, 208, 190};
constexpr Color kHeader{38, 50, 72}, kHeaderEdge{90, 104, 130};
constexpr Color kLampOff{70, 80, 100}, kLampOn{255, 190, 60};
constexpr Color kSlabColor{150, 140, 128}, kSlabShade{118, 108, 98};
constexpr Color kShaft{66, 72, 86}, kRail{120, 128, 142};
constexpr Color kCable{24, 24, 28};
constexpr Color kCabin{206, 88, 52}, kCabinEdge{242, 150, 108}, kCabinDark{150, 58, 34};
constexpr Color kDoor{236, 228, 212}, kDoorLine{170, 160, 146};
constexpr Color kNumber{70, 78, 96}, kHereTint{255, 238, 196};
constexpr Color kButtonPlate{200, 190, 176}, kButtonOff{140, 132, 122}, kButtonOn{80, 190, 90};

// 5 x 7 glyphs of the digits 1 to 3, one row per byte, bit 4 leftmost.
constexpr std::array<std::array<uint8_t, 7>, kFloors> kDigits{{
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
}};

class Canvas {
 public:
  Canvas() : pixels_(kWidth * kHeight) {}

  void put(int x, int y, Color c) {
    if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) pixels_[y * kWidth + x] = c;
  }
  void fill(int x0, int y0, int x1, int y1, Color c) {  // half-open [x0,x1) x [y0,y1)
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) put(x, y, c);
  }
  void frame(int x0, int y0, int x1, int y1, Color c) {
    fill(x0, y0, x1, y0 + 1, c);
    fill(x0, y1 - 1, x1, y1, c);
    fill(x0, y0, x0 + 1, y1, c);
    fill(x1 - 1, y0, x1, y1, c);
  }
  void disc(int cx, int cy, int radius, Color c) {
    for (int y = -radius; y <= radius; ++y)
      for (int x = -radius; x <= radius; ++x)
        if (x * x + y * y <= radius * radius) put(cx + x, cy + y, c);
  }
  void digit(int floor, int x0, int y0, int scale, Color c) {
    const auto& glyph = kDigits[floor - 1];
    for (int row = 0; row < 7; ++row)
      for (int col = 0; col < 5; ++col)
        if (glyph[row] & (0x10 >> col))
          fill(x0 + col * scale, y0 + row * scale, x0 + (col + 1) * scale, y0 + (row + 1) * scale, c);
  }

  bool save(const std::string& path) const {
    constexpr int kRowBytes = (kWidth * 3 + 3) / 4 * 4;
    constexpr uint32_t kPixelBytes = kRowBytes * kHeight;
    constexpr uint32_t kHeaderBytes = 14 + 40;
    std::vector<uint8_t> out;
    auto u16 = [&](uint32_t v) {
      out.push_back(v & 0xFF);
      out.push_back((v >> 8) & 0xFF);
    };
    auto u32 = [&](uint32_t v) {
      u16(v & 0xFFFF);
      u16(v >> 16);
    };
    out.push_back('B');
    out.push_back('M');
    u32(kHeaderBytes + kPixelBytes);
    u32(0);
    u32(kHeaderBytes);
    u32(40);                 // BITMAPINFOHEADER
    u32(kWidth);
    u32(kHeight);            // positive: rows stored bottom-up
    u16(1);                  // planes
    u16(24);                 // bits per pixel
    u32(0);                  // no compression
    u32(kPixelBytes);
    u32(2835);               // 72 dpi
    u32(2835);
    u32(0);
    u32(0);
    for (int y = kHeight - 1; y >= 0; --y) {
      for (int x = 0; x < kWidth; ++x) {
        const Color c = pixels_[y * kWidth + x];
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
      }
      for (int pad = kWidth * 3; pad < kRowBytes; ++pad) out.push_back(0);
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
  }

 private:
  std::vector<Color> pixels_;
};

Color mix(Color a, Color b, int num, int den) {
  auto channel = [&](uint8_t x, uint8_t y) {
    return static_cast<uint8_t>((x * (den - num) + y * num) / den);
  };
  return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

// Top of floor f's storey (floor 3 is the highest).
int storey_top(int floor) { return kHeaderHeight + (kFloors - floor) * kFloorHeight; }

void draw(Canvas& canvas, int here) {
  for (int y = 0; y < kHeight; ++y) canvas.fill(0, y, kWidth, y + 1, mix(kWallTop, kWallBottom, y, kHeight));

  // Indicator: three lamps and the number of the floor.
  canvas.fill(0, 0, kWidth, kHeaderHeight, kHeader);
  canvas.fill(0, kHeaderHeight - 2, kWidth, kHeaderHeight, kHeaderEdge);
  for (int floor = 1; floor <= kFloors; ++floor)
    canvas.disc(22 + (floor - 1) * 20, kHeaderHeight / 2 - 1, 6, floor == here ? kLampOn : kLampOff);
  canvas.digit(here, 142, 4, 4, kLampOn);

  for (int floor = 1; floor <= kFloors; ++floor) {
    const int top = storey_top(floor);
    const int bottom = top + kFloorHeight;
    if (floor == here) canvas.fill(0, top, kShaftLeft, bottom - kSlab, kHereTint);
    canvas.digit(floor, 18, top + 22, 5, kNumber);
    // Call button plate beside the shaft, lit where the cabin stands.
    canvas.fill(80, top + 36, 98, top + 66, kButtonPlate);
    canvas.frame(80, top + 36, 98, top + 66, kButtonOff);
    canvas.disc(89, top + 51, 4, floor == here ? kButtonOn : kButtonOff);
  }

  // Shaft with its guide rails.
  canvas.fill(kShaftLeft, kHeaderHeight, kShaftRight, kHeight, kShaft);
  canvas.fill(kShaftLeft + 4, kHeaderHeight, kShaftLeft + 6, kHeight, kRail);
  canvas.fill(kShaftRight - 6, kHeaderHeight, kShaftRight - 4, kHeight, kRail);

  // Floor slabs across the building, the shaft's landing sills included.
  for (int floor = 1; floor <= kFloors; ++floor) {
    const int slab = storey_top(floor) + kFloorHeight - kSlab;
    canvas.fill(0, slab, kWidth, slab + kSlab, kSlabColor);
    canvas.fill(0, slab + kSlab - 2, kWidth, slab + kSlab, kSlabShade);
  }

  // The cabin standing on its floor's sill, hung from the cable.
  const int cabin_left = kShaftLeft + 10, cabin_right = kShaftRight - 10;
  const int cabin_bottom = storey_top(here) + kFloorHeight - kSlab;
  const int cabin_top = cabin_bottom - 68;
  const int middle = (cabin_left + cabin_right) / 2;
  canvas.fill(middle - 1, kHeaderHeight, middle + 1, cabin_top, kCable);
  canvas.fill(cabin_left, cabin_top, cabin_right, cabin_bottom, kCabin);
  canvas.frame(cabin_left, cabin_top, cabin_right, cabin_bottom, kCabinEdge);
  canvas.fill(cabin_left + 1, cabin_top + 1, cabin_right - 1, cabin_top + 8, kCabinDark);
  canvas.disc(middle, cabin_top + 4, 2, kLampOn);
  canvas.fill(cabin_left + 6, cabin_top + 12, cabin_right - 6, cabin_bottom - 4, kDoor);
  canvas.fill(middle, cabin_top + 12, middle + 1, cabin_bottom - 4, kDoorLine);
  canvas.frame(cabin_left + 6, cabin_top + 12, cabin_right - 6, cabin_bottom - 4, kDoorLine);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  for (int floor = 1; floor <= kFloors; ++floor) {
    Canvas canvas;
    draw(canvas, floor);
    const std::string path = folder + "/ascensor" + std::to_string(floor) + ".bmp";
    if (!canvas.save(path)) {
      std::fprintf(stderr, "generate_pictures: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
