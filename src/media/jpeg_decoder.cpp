#include "media/jpeg_decoder.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
// clang-format off
#include <cstdio>  // jpeglib.h needs FILE declared first
#include <jpeglib.h>
// clang-format on

namespace {

constexpr int kDefaultPelsPerMeter = 2834;  // 72 dots per inch
constexpr JDIMENSION kRowsPerRead = 8;

// libjpeg's error manager and progress monitor with what they need beside
// them: the recovery point, right behind the error manager so that
// error_exit finds the jump buffer from the decompressor, the limits and the
// stop test of the monitor, and the message that ended or marred the decode.
struct DecodeWatch {
  jpeg_error_mgr errors;  // first: the decompressor's err points here
  jpeg_progress_mgr progress;
  jmp_buf recovery;
  const JpegDecodeControl* control;
  char reason[JMSG_LENGTH_MAX];
  bool stopped;
};

DecodeWatch* WatchOf(j_common_ptr common) { return reinterpret_cast<DecodeWatch*>(common->err); }

// libjpeg's output_message: the text is kept for the count, never printed.
// libjpeg calls it for an error and for the first warning of a picture.
void KeepMessage(j_common_ptr common) {
  (*common->err->format_message)(common, WatchOf(common)->reason);
}

[[noreturn]] void ExitToRecoveryPoint(j_common_ptr common) {
  (*common->err->output_message)(common);
  longjmp(WatchOf(common)->recovery, 1);
}

[[noreturn]] void Refuse(DecodeWatch* watch, const char* reason) {
  std::snprintf(watch->reason, sizeof watch->reason, "%s", reason);
  longjmp(watch->recovery, 1);
}

// Called before every row of blocks that libjpeg reads or outputs, in each
// scan: a stop or a picture past the limits ends the decode there.
void WatchProgress(j_common_ptr common) {
  DecodeWatch* watch = WatchOf(common);
  const JpegDecodeControl& control = *watch->control;
  if (control.stop && control.stop()) {
    watch->stopped = true;
    longjmp(watch->recovery, 1);
  }
  const auto* cinfo = reinterpret_cast<const jpeg_decompress_struct*>(common);
  const int scans = cinfo->input_scan_number;
  if (scans > control.max_scans) Refuse(watch, "the picture has too many scans");
  if (uint64_t{cinfo->image_width} * cinfo->image_height * static_cast<uint64_t>(scans) >
      control.max_work) {
    Refuse(watch, "the picture takes too much work to decode");
  }
}

// What the count is told of a decode that ended with `result`.
void CountTrouble(const DecodeWatch& watch, int result) {
  JpegTroubleCount* trouble = watch.control->trouble;
  if (!trouble || watch.stopped) return;
  const auto now = std::chrono::steady_clock::now();
  if (result != 0) {
    trouble->CountRefused(watch.reason[0] ? watch.reason : "a picture of a size or kind not shown",
                          now);
  } else if (watch.errors.num_warnings > 0) {
    trouble->CountDamaged(watch.reason, now);
  }
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

// The pixels of libjpeg's 4-component output that are Cairo's RGB24 words.
constexpr J_COLOR_SPACE kPaintingColourSpace =
    std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// Each job is the work between the recovery point and the clean-up: every
// libjpeg error inside its Run jumps back to RunDecompressor. No object with
// a destructor lives there.

// A picture in full, as a 24-bit bottom-up bitmap.
struct FullSize {
  BitmapInfo* info;
  uint8_t* pixels;
  size_t pixels_size;
  int Run(jpeg_decompress_struct* cinfo) const;
};

// A picture scaled down for `area`, as top-down painting words.
struct Scaled {
  PictureSize area;
  BitmapInfo* info;
  uint8_t* pixels;
  size_t pixels_size;
  int Run(jpeg_decompress_struct* cinfo) const;
};

// Runs `job` on a decompressor reading the `length` bytes at `data`: its
// result, or -1 when libjpeg failed inside it.
template <typename Job>
int RunDecompressor(const uint8_t* data, uint32_t length, const Job* job,
                    const JpegDecodeControl& control) {
  if (!data || length == 0) return -1;
  jpeg_decompress_struct cinfo;
  DecodeWatch watch;
  watch.control = &control;
  watch.reason[0] = '\0';
  watch.stopped = false;
  cinfo.err = jpeg_std_error(&watch.errors);
  watch.errors.error_exit = ExitToRecoveryPoint;
  watch.errors.output_message = KeepMessage;
  if (setjmp(watch.recovery)) {
    jpeg_destroy_decompress(&cinfo);
    CountTrouble(watch, -1);
    return -1;
  }
  jpeg_create_decompress(&cinfo);
  watch.progress.progress_monitor = WatchProgress;
  cinfo.progress = &watch.progress;
  jpeg_mem_src(&cinfo, data, length);
  const int result = job->Run(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  CountTrouble(watch, result);
  return result;
}

// `width` x `height` at libjpeg's scale of `eighths`/8, rounded up as it does.
PictureSize ScaledBy(int width, int height, int eighths) {
  return {static_cast<int>((int64_t{width} * eighths + 7) / 8),
          static_cast<int>((int64_t{height} * eighths + 7) / 8)};
}

// The scale, in eighths, of ScaledJpegSize.
int ScaleEighths(int width, int height, PictureSize area) {
  if (width <= 0 || height <= 0 || area.width <= 0 || area.height <= 0) return 8;
  const PictureRect fit = FitPicture(width, height, area.width, area.height);
  for (int eighths = 1; eighths < 8; ++eighths) {
    const PictureSize scaled = ScaledBy(width, height, eighths);
    if (scaled.width >= fit.width && scaled.height >= fit.height) return eighths;
  }
  return 8;
}

void DescribePaintingWords(int width, int height, BitmapInfo* info) {
  BitmapInfoHeader& h = info->header;
  h = BitmapInfoHeader{};
  h.size = sizeof(BitmapInfoHeader);
  h.width = width;
  h.height = -height;  // top-down
  h.planes = 1;
  h.bitCount = 32;
  h.sizeImage = BitmapStride(32, static_cast<uint32_t>(width)) * static_cast<uint32_t>(height);
}

int FullSize::Run(jpeg_decompress_struct* cinfo) const {
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

int Scaled::Run(jpeg_decompress_struct* cinfo) const {
  jpeg_read_header(cinfo, TRUE);
  cinfo->scale_num = static_cast<unsigned int>(ScaleEighths(
      static_cast<int>(cinfo->image_width), static_cast<int>(cinfo->image_height), area));
  cinfo->scale_denom = 8;
  cinfo->out_color_space = kPaintingColourSpace;
  jpeg_calc_output_dimensions(cinfo);
  const uint64_t stride = uint64_t{cinfo->output_width} * 4;
  if (cinfo->output_components != 4 || stride * cinfo->output_height > pixels_size ||
      stride * cinfo->output_height > UINT32_MAX) {
    return -1;
  }
  jpeg_start_decompress(cinfo);
  // A few rows a call: libjpeg makes several at once from each row of blocks.
  JSAMPROW rows[kRowsPerRead];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION count =
        std::min<JDIMENSION>(kRowsPerRead, cinfo->output_height - cinfo->output_scanline);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = pixels + (cinfo->output_scanline + i) * stride;
    if (jpeg_read_scanlines(cinfo, rows, count) == 0) return -1;  // a memory source never suspends
  }
  jpeg_finish_decompress(cinfo);
  DescribePaintingWords(static_cast<int>(cinfo->output_width),
                        static_cast<int>(cinfo->output_height), info);
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
               size_t pixels_size, const JpegDecodeControl& control) {
  if (!info || !pixels) return -1;
  FullSize job{info, pixels, pixels_size};
  return RunDecompressor(data, length, &job, control);
}

PictureSize ScaledJpegSize(int width, int height, PictureSize area) {
  return ScaledBy(width, height, ScaleEighths(width, height, area));
}

int DecodeJpegScaled(const uint8_t* data, uint32_t length, PictureSize area, BitmapInfo* info,
                     uint8_t* pixels, size_t pixels_size, const JpegDecodeControl& control) {
  if (!info || !pixels) return -1;
  Scaled job{area, info, pixels, pixels_size};
  return RunDecompressor(data, length, &job, control);
}

void JpegTroubleCount::Count(const char* reason, TimePoint now, uint64_t* counter) {
  std::lock_guard<std::mutex> lock(mu_);
  if (refused_ == 0 && damaged_ == 0) since_ = now;
  ++*counter;
  last_reason_ = reason;
}

void JpegTroubleCount::CountRefused(const char* reason, TimePoint now) {
  Count(reason, now, &refused_);
}

void JpegTroubleCount::CountDamaged(const char* reason, TimePoint now) {
  Count(reason, now, &damaged_);
}

std::string JpegTroubleCount::TakeReport(TimePoint now) {
  std::lock_guard<std::mutex> lock(mu_);
  if ((refused_ == 0 && damaged_ == 0) || now - since_ < kReportInterval) return {};
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - since_).count();
  char line[JMSG_LENGTH_MAX + 200];
  std::snprintf(line, sizeof line,
                "Live view, camera pictures in the last %lld s: not decoded %llu, decoded with "
                "damaged data %llu; the decoder's last message: %s\n",
                static_cast<long long>(seconds), static_cast<unsigned long long>(refused_),
                static_cast<unsigned long long>(damaged_), last_reason_.c_str());
  refused_ = damaged_ = 0;
  return line;
}
