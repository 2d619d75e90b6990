#include <algorithm>
#include <cstdio>
#include <cstring>

#include "generators.h"

namespace camsim {
namespace {

// 5x7 bitmaps of the digits 0-9, one byte per row, bit 4 is the left column.
constexpr uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

void FillRect(uint8_t* rgb, int width, int height, int x0, int y0, int w, int h,
              const uint8_t colour[3]) {
  const int x1 = std::min(width, x0 + w), y1 = std::min(height, y0 + h);
  for (int y = std::max(0, y0); y < y1; ++y)
    for (int x = std::max(0, x0); x < x1; ++x) std::memcpy(rgb + (y * width + x) * 3, colour, 3);
}

void DrawNumber(uint8_t* rgb, int width, int height, uint32_t number) {
  char text[16];
  const int n = std::snprintf(text, sizeof text, "%u", number);
  const int scale = std::max(2, height / 40);
  const int advance = 6 * scale;
  const int x0 = scale * 2, y0 = scale * 2;
  const uint8_t black[3] = {0, 0, 0}, white[3] = {255, 255, 255};
  FillRect(rgb, width, height, x0 - scale, y0 - scale, n * advance + scale, 9 * scale, black);
  for (int i = 0; i < n; ++i) {
    const uint8_t* glyph = kDigits[text[i] - '0'];
    for (int row = 0; row < 7; ++row)
      for (int col = 0; col < 5; ++col)
        if (glyph[row] & (0x10 >> col))
          FillRect(rgb, width, height, x0 + i * advance + col * scale, y0 + row * scale, scale,
                   scale, white);
  }
}

// Columns two pixels wide, white and grey, across a band above the bottom
// eighth (where a time stamp may go): drawn at half the picture's width, as
// in a live area on a display of scale 2, they still alternate from one
// device pixel to the next; drawn at a quarter they merge. Never dark, so that
// a picture fitted into its area lights the whole area.
void DrawFineColumns(uint8_t* rgb, int width, int height) {
  const uint8_t light[3] = {255, 255, 255}, grey[3] = {96, 96, 96};
  const int top = height * 5 / 8, band = height / 4;
  for (int x = 0; x < width; x += 2)
    FillRect(rgb, width, height, x, top, 2, band, (x / 2) % 2 ? grey : light);
}

class TestPattern : public FrameGenerator {
 public:
  void Render(uint32_t frame, int width, int height, uint8_t* rgb) override {
    for (int y = 0; y < height; ++y) {
      uint8_t* row = rgb + y * width * 3;
      for (int x = 0; x < width; ++x) {
        row[x * 3 + 0] = static_cast<uint8_t>((x + frame * 4) * 255 / std::max(1, width));
        row[x * 3 + 1] = static_cast<uint8_t>(y * 255 / std::max(1, height));
        row[x * 3 + 2] = static_cast<uint8_t>(128 + frame * 3);
      }
    }
    // A bar sweeping from left to right shows motion at a glance.
    const uint8_t yellow[3] = {255, 220, 0};
    const int bar = std::max(4, width / 32);
    FillRect(rgb, width, height, static_cast<int>(frame * 8 % std::max(1, width)), 0, bar, height,
             yellow);
    DrawFineColumns(rgb, width, height);
    DrawNumber(rgb, width, height, frame);
  }
};

}  // namespace

std::unique_ptr<FrameGenerator> MakeTestPatternGenerator() {
  return std::make_unique<TestPattern>();
}

}  // namespace camsim
