// One camera JPEG frame decoded into a bounded pixel buffer with libjpeg: in
// full, as a 24-bit bottom-up blue-green-red bitmap, or scaled down while
// decoding to the size it is shown at, in the format the window paints.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "media/bitmap_info.h"

struct jpeg_decompress_struct;

// Counts the frames the decoder refused or found damaged, with the decoder's
// last word on them, instead of printing a message per frame: a camera
// sending broken frames would otherwise fill standard error at its frame
// rate. Threads: any; guarded by mu_.
class JpegTroubleCount {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  static constexpr std::chrono::seconds kReportInterval{60};

  // A frame that was not decoded, because of `reason`.
  void CountRefused(const char* reason, TimePoint now);
  // A frame that was decoded although the decoder found damage (`reason`).
  void CountDamaged(const char* reason, TimePoint now);
  // The line that reports what was counted, once kReportInterval has passed
  // since the first frame counted: then the count starts again. Empty while
  // nothing is due.
  std::string TakeReport(TimePoint now);

 private:
  void Count(const char* reason, TimePoint now, uint64_t* counter);

  std::mutex mu_;
  uint64_t refused_ = 0;
  uint64_t damaged_ = 0;
  TimePoint since_{};  // of the first frame counted since the last report
  std::string last_reason_;
};

// Refused pictures: more progressive scans than any camera sends (each scan
// is another pass over the whole picture, and a hostile frame of 300 KB can
// hold tens of thousands), or more work than the largest picture shown with
// the usual progressive script, with room to spare. Work is picture pixels
// times scans.
constexpr int kMaxJpegScans = 500;
constexpr uint64_t kMaxJpegWork = uint64_t{2048} * 1536 * 16;

// What a decode is held to, and where it says what went wrong.
struct JpegDecodeControl {
  int max_scans = kMaxJpegScans;
  uint64_t max_work = kMaxJpegWork;
  // Asked between rows of blocks: true ends the decode (-1, not counted).
  std::function<bool()> stop;
  // Where refused and damaged frames are counted; null: nowhere.
  JpegTroubleCount* trouble = nullptr;
};

// Describes the decompressor's output in `info` after its header has been
// read: false (and `info` untouched) for an output this program's one-entry
// descriptor can't describe (greyscale or quantised output, which need a
// 256-entry colour table, and colour spaces other than blue-green-red and
// CMYK), or for a picture whose byte size does not fit 32 bits.
bool FillBitmapInfo(const jpeg_decompress_struct& decompressor, BitmapInfo* info);

// Decodes the `length` bytes at `data` into `pixels` (`pixels_size` bytes),
// bottom row first, and rewrites `info` to describe them: 0, or -1 when the
// frame is not a JPEG image libjpeg can decode or its picture would not fit
// `pixels` (checked from the header, before anything is decompressed; then
// `pixels` and `info` stay untouched). Greyscale frames come out as grey
// blue-green-red triples. A frame cut short is decoded with its missing end
// filled in; nothing is read past `length`. Nothing is printed: the
// decoder's messages go to `control.trouble`. Pictures beyond the limits of
// `control` are refused.
int DecodeJpeg(const uint8_t* data, uint32_t length, BitmapInfo* info, uint8_t* pixels,
               size_t pixels_size, const JpegDecodeControl& control = {});

// The size a `width` x `height` picture is decoded at by DecodeJpegScaled for
// `area`: the smallest of libjpeg's scales (1/8 to 8/8) at which the picture
// fitted into the area (FitPicture) still gets a decoded pixel for each of
// its pixels. Its own size when the area is empty; never larger.
PictureSize ScaledJpegSize(int width, int height, PictureSize area);

// Decodes the `length` bytes at `data` at ScaledJpegSize for `area` into
// `pixels` (`pixels_size` bytes) as 32-bit words 0xXXRRGGBB in the machine's
// byte order (Cairo's RGB24; a 32-bit top-down bitmap on little-endian
// machines), top row first, so that nothing is scaled away or converted
// after decoding, and rewrites `info` to describe them (negative height).
// Returns as DecodeJpeg, with the same checks; greyscale frames come out
// grey, CMYK frames are refused.
int DecodeJpegScaled(const uint8_t* data, uint32_t length, PictureSize area, BitmapInfo* info,
                     uint8_t* pixels, size_t pixels_size, const JpegDecodeControl& control = {});
