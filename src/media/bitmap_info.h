// The layout of a decoded picture in memory: a 24-bit device-independent
// bitmap descriptor (40-byte header and room for one colour-table entry),
// the row stride it implies, and how a picture is fitted into a window.
#pragma once

#include <cstdint>

struct BitmapInfoHeader {
  uint32_t size;  // 40
  int32_t width;
  int32_t height;  // positive: rows stored bottom-up; negative: top-down
  uint16_t planes;
  uint16_t bitCount;
  uint32_t compression;  // 0: none
  uint32_t sizeImage;    // stride × height, in bytes
  int32_t xPelsPerMeter;
  int32_t yPelsPerMeter;
  uint32_t clrUsed;
  uint32_t clrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct RgbQuad {
  uint8_t blue, green, red, reserved;
};

struct BitmapInfo {
  BitmapInfoHeader header;
  RgbQuad colors[1];  // no picture of this program needs a larger table
};

// Bytes per row: the row's bytes rounded up to a multiple of 4.
constexpr uint32_t BitmapStride(uint32_t bit_count, uint32_t width) {
  return (bit_count * width / 8 + 3) / 4 * 4;
}

struct PictureSize {
  int width, height;
};

// Where a picture of `width` x `height` goes in a client area of
// `client_width` x `client_height`: as large as fits with its aspect kept,
// centred, all in truncating integer arithmetic.
struct PictureRect {
  int x, y, width, height;
};
PictureRect FitPicture(int width, int height, int client_width, int client_height);

// Copies a 24-bit blue-green-red picture described by `info` into `out` as
// 32-bit 0xFFRRGGBB pixels, top row first, |height| rows of `width` pixels; a
// 32-bit picture, already in that format, is copied row by row.
void CopyToXrgb(const BitmapInfo& info, const uint8_t* pixels, uint32_t* out);
