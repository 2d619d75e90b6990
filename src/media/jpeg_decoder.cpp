#include "media/jpeg_decoder.h"

#include <csetjmp>
// clang-format off
#include <cstdio>  // jpeglib.h needs FILE declared first
#include <jpeglib.h>
// clang-format on

namespace {

constexpr int kDefaultPelsPerMeter = 2834;  // 72 dots per inch

// libjpeg's error manager with the recovery point right behind it, so that
// error_exit finds the jump buffer from the decompressor.
struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf recovery;
};

[[noreturn]] void ExitToRecoveryPoint(j_common_ptr common) {
  (*common->err->output_message)(common);  // libjpeg's text, to standard error
  longjmp(reinterpret_cast<ErrorManager*>(common->err)->recovery, 1);
}

// Pixels per metre of a density in the image's unit; false for an unknown unit.
bool PelsPerMeter(int unit, int density, int32_t* out) {
  switch (unit) {
    case 0:
      *out = kDefaultPelsPerMeter;
      return true;
    case 1:
      *out = static_cast<int32_t>(density * 10000 / 254);  // per inch; truncated
      return true;
    case 2:
      *out = density * 100;  // per centimetre
      return true;
    default:
      return false;
  }
}

// The work between the recovery point and the clean-up; every libjpeg error
// inside it jumps back to DecodeJpeg. No object with a destructor lives here.
int Decompress(jpeg_decompress_struct* cinfo, BitmapInfo* info, uint8_t* pixels,
               size_t pixels_size) {
  jpeg_read_header(cinfo, TRUE);
  cinfo->scale_num = 1;
  cinfo->scale_denom = 1;
  // Colour and grey pictures both come out as blue-green-red triples: the
  // order of a 24-bit bitmap, and no colour table needed for grey.
  if (cinfo->out_color_space == JCS_RGB || cinfo->out_color_space == JCS_GRAYSCALE)
    cinfo->out_color_space = JCS_EXT_BGR;
  BitmapInfo next = *info;
  if (!FillBitmapInfo(*cinfo, &next) || next.header.sizeImage > pixels_size) return -1;
  jpeg_start_decompress(cinfo);
  const uint32_t stride = BitmapStride(next.header.bitCount, next.header.width);
  if (cinfo->output_width != static_cast<JDIMENSION>(next.header.width) ||
      cinfo->output_height != static_cast<JDIMENSION>(next.header.height) ||
      static_cast<uint32_t>(cinfo->output_components) * 8 != next.header.bitCount) {
    return -1;
  }
  // Bottom-up, as a bitmap stores its rows: scanline n goes to row height-1-n.
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row =
        pixels + static_cast<size_t>(cinfo->output_height - 1 - cinfo->output_scanline) * stride;
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return -1;  // a memory source never suspends
  }
  jpeg_finish_decompress(cinfo);
  *info = next;
  return 0;
}

}  // namespace

bool FillBitmapInfo(const jpeg_decompress_struct& cinfo, BitmapInfo* info) {
  uint16_t bits;
  if (cinfo.out_color_space == JCS_EXT_BGR && !cinfo.quantize_colors) {
    bits = 24;
  } else if (cinfo.out_color_space == JCS_CMYK) {
    bits = 32;
  } else {
    return false;
  }
  const uint32_t denom = cinfo.scale_denom ? cinfo.scale_denom : 1;
  const uint32_t width = (cinfo.image_width + denom - 1) / denom;
  const uint32_t height = (cinfo.image_height + denom - 1) / denom;
  const uint64_t size = uint64_t{BitmapStride(bits, width)} * height;
  if (width == 0 || height == 0 || size > UINT32_MAX) return false;
  BitmapInfoHeader& h = info->header;
  h.size = sizeof(BitmapInfoHeader);
  h.width = static_cast<int32_t>(width);
  h.height = static_cast<int32_t>(height);
  h.planes = 1;
  h.bitCount = bits;
  h.compression = 0;
  h.sizeImage = static_cast<uint32_t>(size);
  int32_t x = 0, y = 0;
  if (PelsPerMeter(cinfo.density_unit, cinfo.X_density, &x) &&
      PelsPerMeter(cinfo.density_unit, cinfo.Y_density, &y)) {
    h.xPelsPerMeter = x;
    h.yPelsPerMeter = y;
  }
  h.clrUsed = 0;
  h.clrImportant = 0;
  return true;
}

int DecodeJpeg(const uint8_t* data, uint32_t length, BitmapInfo* info, uint8_t* pixels,
               size_t pixels_size) {
  if (!data || length == 0 || !info || !pixels) return -1;
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = ExitToRecoveryPoint;
  if (setjmp(errors.recovery)) {
    jpeg_destroy_decompress(&cinfo);
    return -1;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, length);
  const int result = Decompress(&cinfo, info, pixels, pixels_size);
  jpeg_destroy_decompress(&cinfo);
  return result;
}
