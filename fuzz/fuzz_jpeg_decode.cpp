// One camera frame decoded in full into a pixel buffer of a size the first
// two bytes choose (up to 1 MiB, so that large pictures are refused as often
// as small ones fit), then copied out for drawing; and the same frame decoded
// as the decode thread does it, scaled for an area the first byte chooses.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "media/bitmap_info.h"
#include "media/jpeg_decoder.h"

namespace {

// The scaled decode: 32-bit top-down words within the buffer, or nothing.
void DecodeScaled(const uint8_t* frame, uint32_t length, PictureSize area, uint8_t* pixels,
                  size_t pixels_size) {
  BitmapInfo info;
  std::memset(&info, 0xA5, sizeof info);
  const BitmapInfo before = info;
  const int r = DecodeJpegScaled(frame, length, area, &info, pixels, pixels_size);
  if (r != 0) {
    fuzz::Require(r == -1 && std::memcmp(&info, &before, sizeof info) == 0);
    return;
  }
  const BitmapInfoHeader& h = info.header;
  fuzz::Require(h.width > 0 && h.height < 0 && h.bitCount == 32);
  fuzz::Require(uint64_t{4} * static_cast<uint32_t>(h.width) * static_cast<uint32_t>(-h.height) ==
                h.sizeImage);
  fuzz::Require(h.sizeImage <= pixels_size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return -1;
  const size_t pixels_size = (1 + (data[0] | data[1] << 8)) * 16u;
  // Exactly that size and on the heap, so a write past it is caught.
  std::unique_ptr<uint8_t[]> pixels(new uint8_t[pixels_size]);
  BitmapInfo info;
  std::memset(&info, 0xA5, sizeof info);
  const BitmapInfo before = info;
  // 0 to 600 x 0 to 450 in steps of a 40 x 30 pixel block; 0: none.
  const PictureSize area{(data[0] & 0x0F) * 40, (data[0] >> 4) * 30};
  DecodeScaled(data + 2, static_cast<uint32_t>(size - 2), area, pixels.get(), pixels_size);
  const int r =
      DecodeJpeg(data + 2, static_cast<uint32_t>(size - 2), &info, pixels.get(), pixels_size);
  if (r != 0) {
    fuzz::Require(r == -1 && std::memcmp(&info, &before, sizeof info) == 0);
    return 0;
  }
  const BitmapInfoHeader& h = info.header;
  fuzz::Require(h.width > 0 && h.height > 0 && (h.bitCount == 24 || h.bitCount == 32));
  const uint64_t stride = BitmapStride(h.bitCount, static_cast<uint32_t>(h.width));
  fuzz::Require(stride * static_cast<uint64_t>(h.height) == h.sizeImage);
  fuzz::Require(h.sizeImage <= pixels_size);
  if (h.bitCount != 24) return 0;  // CMYK pictures are not drawn
  std::vector<uint32_t> xrgb(static_cast<size_t>(h.width) * static_cast<size_t>(h.height));
  CopyToXrgb(info, pixels.get(), xrgb.data());
  return 0;
}
