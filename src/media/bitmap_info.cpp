#include "media/bitmap_info.h"

#include <cstdlib>
#include <cstring>

PictureRect FitPicture(int width, int height, int client_width, int client_height) {
  if (width <= 0 || height <= 0) return {0, 0, 0, 0};
  const int64_t w = width, h = height, cw = client_width, ch = client_height;
  PictureRect r{0, 0, client_width, client_height};
  if (w * ch / h <= cw) {
    r.width = static_cast<int>(w * ch / h);
  } else {
    r.height = static_cast<int>(h * cw / w);
  }
  r.x = client_width / 2 - r.width / 2;
  r.y = client_height / 2 - r.height / 2;
  return r;
}

void CopyToXrgb(const BitmapInfo& info, const uint8_t* pixels, uint32_t* out) {
  const int width = info.header.width;
  const int rows = std::abs(info.header.height);
  const bool bottom_up = info.header.height > 0;
  if (info.header.bitCount == 32) {  // already in the painting format: rows only
    const size_t row = static_cast<size_t>(width) * 4;
    for (int y = 0; y < rows; ++y) {
      const uint8_t* src = pixels + static_cast<size_t>(bottom_up ? rows - 1 - y : y) * row;
      std::memcpy(out + static_cast<size_t>(y) * width, src, row);
    }
    return;
  }
  const uint32_t stride = BitmapStride(24, static_cast<uint32_t>(width));
  for (int y = 0; y < rows; ++y) {
    const uint8_t* src = pixels + static_cast<size_t>(bottom_up ? rows - 1 - y : y) * stride;
    uint32_t* dst = out + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x, src += 3) {
      dst[x] = 0xFF000000u | uint32_t{src[2]} << 16 | uint32_t{src[1]} << 8 | src[0];
    }
  }
}
