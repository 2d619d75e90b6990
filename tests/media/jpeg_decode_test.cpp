// JPEG frames into the bounded pixel buffer, in full or scaled for the live
// window, and how pictures are laid out and fitted into that window.
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "media/decode_draw_thread.h"
#include "media/jpeg_decoder.h"
#include "media/video_thread.h"
#include "support/fake_live_target.h"
#include "support/hang_guard.h"

namespace {

using Colour = std::array<uint8_t, 3>;  // red, green, blue

// A baseline JPEG of `colour(x, y)`, or a progressive one with libjpeg's
// usual scans; one grey component when `grey`.
std::vector<uint8_t> MakeJpeg(int width, int height, bool grey,
                              const std::function<Colour(int, int)>& colour,
                              bool progressive = false) {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Colour c = colour(x, y);
      if (grey)
        pixels.push_back(c[0]);
      else
        pixels.insert(pixels.end(), c.begin(), c.end());
    }
  tjhandle tj = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int ok =
      tjCompress2(tj, pixels.data(), width, 0, height, grey ? TJPF_GRAY : TJPF_RGB, &jpeg, &size,
                  grey ? TJSAMP_GRAY : TJSAMP_444, 95, progressive ? TJFLAG_PROGRESSIVE : 0);
  std::vector<uint8_t> out;
  if (ok == 0) out.assign(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(tj);
  return out;
}

Colour Red(int, int) { return {255, 0, 0}; }

// Scans in a JPEG: its start-of-scan markers (coded data never holds one).
size_t CountScans(const std::vector<uint8_t>& jpeg) {
  size_t scans = 0;
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) scans += jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA;
  return scans;
}

// A flat grey progressive picture whose last scan, a few bytes, comes
// `repeats` more times: the decoder warns about each repeat and reads it all
// the same, a pass over the whole picture each time.
std::vector<uint8_t> MakeRepeatedScans(int width, int height, int repeats) {
  std::vector<uint8_t> jpeg = MakeJpeg(width, height, true, Red, true);
  size_t sos = jpeg.size() - 2;
  while (!(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) --sos;
  const std::vector<uint8_t> scan(jpeg.begin() + static_cast<std::ptrdiff_t>(sos), jpeg.end() - 2);
  for (int i = 0; i < repeats; ++i) jpeg.insert(jpeg.end() - 2, scan.begin(), scan.end());
  return jpeg;
}

// The decoder's buffer, with a byte pattern that shows whether it was touched.
struct Pixels {
  std::vector<uint8_t> bytes =
      std::vector<uint8_t>(NTavoDecodeAndDrawThread::kPixelBufferSize, 0xA5);
  bool Untouched() const {
    for (uint8_t b : bytes)
      if (b != 0xA5) return false;
    return true;
  }
};

int Decode(const std::vector<uint8_t>& jpeg, BitmapInfo* info, Pixels* pixels) {
  return DecodeJpeg(jpeg.data(), static_cast<uint32_t>(jpeg.size()), info, pixels->bytes.data(),
                    pixels->bytes.size());
}

TEST(JpegDecode, DescriptorFollowsStrideAndDensityRules) {
  struct Case {
    uint8_t unit;
    uint16_t density;
    int32_t pels_per_meter;
  } cases[] = {{0, 1, 2834}, {1, 72, 2834}, {2, 40, 4000}, {3, 72, 1234 /* kept */}};
  for (const Case& c : cases) {
    std::vector<uint8_t> jpeg = MakeJpeg(641, 3, false, Red);
    ASSERT_EQ(std::memcmp(&jpeg[6], "JFIF", 4), 0);
    jpeg[13] = c.unit;
    for (int at : {14, 16}) {
      jpeg[at] = static_cast<uint8_t>(c.density >> 8);
      jpeg[at + 1] = static_cast<uint8_t>(c.density);
    }
    BitmapInfo info{};
    info.header.xPelsPerMeter = info.header.yPelsPerMeter = 1234;
    Pixels pixels;
    ASSERT_EQ(Decode(jpeg, &info, &pixels), 0);
    EXPECT_EQ(info.header.size, 40u);
    EXPECT_EQ(info.header.width, 641);
    EXPECT_EQ(info.header.height, 3);  // bottom-up
    EXPECT_EQ(info.header.bitCount, 24);
    EXPECT_EQ(info.header.sizeImage, 1924u * 3);  // 1923 rounded up to a multiple of 4
    EXPECT_EQ(info.header.xPelsPerMeter, c.pels_per_meter) << int{c.unit};
    EXPECT_EQ(info.header.yPelsPerMeter, c.pels_per_meter) << int{c.unit};
  }
}

TEST(JpegDecode, BadFramesNeverReachPastTheirBuffers) {
  Pixels pixels;
  BitmapInfo info{};
  const std::vector<uint8_t> noise = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  EXPECT_EQ(Decode(noise, &info, &pixels), -1);
  EXPECT_EQ(DecodeJpeg(nullptr, 0, &info, pixels.bytes.data(), pixels.bytes.size()), -1);

  // A header claiming 4096 x 4096 is refused before anything is decoded.
  std::vector<uint8_t> huge = MakeJpeg(16, 16, false, Red);
  size_t sof = 2;
  while (sof + 9 < huge.size() && !(huge[sof] == 0xFF && huge[sof + 1] == 0xC0)) ++sof;
  ASSERT_LT(sof + 9, huge.size());
  for (int at : {5, 7}) huge[sof + at] = 0x10, huge[sof + at + 1] = 0x00;
  EXPECT_EQ(Decode(huge, &info, &pixels), -1);
  EXPECT_TRUE(pixels.Untouched());
  EXPECT_EQ(info.header.width, 0);  // the descriptor is only rewritten with a picture

  // A frame cut in half: decoded with its end filled in, from its own bytes
  // only (a heap copy of exactly that length: AddressSanitizer builds see a
  // read past it).
  const auto busy_red = [](int x, int y) -> Colour { return {255, uint8_t(x * y * 37 % 64), 0}; };
  const std::vector<uint8_t> whole = MakeJpeg(128, 128, false, busy_red);
  const std::vector<uint8_t> half(whole.begin(), whole.begin() + whole.size() / 2);
  ASSERT_EQ(Decode(half, &info, &pixels), 0);
  EXPECT_EQ(info.header.width, 128);
  const uint8_t* top_row = pixels.bytes.data() + info.header.sizeImage - BitmapStride(24, 128);
  EXPECT_GT(top_row[2], 200);  // red, in blue-green-red order
  EXPECT_LT(top_row[0], 50);
}

TEST(JpegDecode, GreyFramesComeOutAsGreyTriplesAndRowsComeOutUpright) {
  Pixels pixels;
  BitmapInfo info{};
  const auto half_and_half = [](int, int y) -> Colour {
    return y < 8 ? Colour{200, 200, 200} : Colour{40, 40, 40};
  };
  ASSERT_EQ(Decode(MakeJpeg(16, 16, true, half_and_half), &info, &pixels), 0);
  EXPECT_EQ(info.header.bitCount, 24);
  for (uint32_t i = 0; i < info.header.sizeImage; i += 3) {
    ASSERT_EQ(pixels.bytes[i], pixels.bytes[i + 1]);
    ASSERT_EQ(pixels.bytes[i], pixels.bytes[i + 2]);
  }
  std::vector<uint32_t> xrgb(16 * 16);
  CopyToXrgb(info, pixels.bytes.data(), xrgb.data());
  EXPECT_NEAR(xrgb.front() & 0xFF, 200, 8);  // the top row is light
  EXPECT_NEAR(xrgb.back() & 0xFF, 40, 8);
  EXPECT_EQ(xrgb.front() >> 24, 0xFFu);
}

// Red, green, blue and white quarters, the row order and the colour order
// seen at once.
Colour Quarters(int x, int y, int width, int height) {
  const bool right = x >= width / 2, bottom = y >= height / 2;
  if (!bottom) return right ? Colour{0, 255, 0} : Colour{255, 0, 0};
  return right ? Colour{255, 255, 255} : Colour{0, 0, 255};
}

// The pixel at (x, y) of a 32-bit top-down picture, as red, green, blue.
Colour WordAt(const Pixels& pixels, const BitmapInfo& info, int x, int y) {
  uint32_t word = 0;
  std::memcpy(&word, pixels.bytes.data() + static_cast<size_t>(y) * info.header.width * 4 + x * 4,
              4);
  return {uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)};
}

void ExpectNear(const Colour& got, const Colour& want, const char* where) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 24) << where << " component " << i;
}

TEST(ScaledJpegDecode, DecodesAtTheSmallestScaleThatFillsTheAreaInPaintingFormat) {
  struct Case {
    int width, height;
    PictureSize area, decoded;
  } cases[] = {
      {640, 480, {160, 120}, {160, 120}},    // 1/4: the small live picture
      {1280, 720, {160, 120}, {160, 90}},    // 1/8, with bars above and below
      {640, 480, {320, 240}, {320, 240}},    // the small picture at two device pixels a pixel
      {1920, 1080, {400, 300}, {480, 270}},  // 1/4: 3/8 is larger, 1/8 too small
      {641, 481, {160, 120}, {161, 121}},    // sizes round up
      {640, 480, {0, 0}, {640, 480}},        // no area: the picture's own size
      {96, 64, {160, 120}, {96, 64}},        // never larger than the picture
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.width << "x" << c.height << " into " << c.area.width << "x" << c.area.height);
    const std::vector<uint8_t> jpeg = MakeJpeg(
        c.width, c.height, false, [&](int x, int y) { return Quarters(x, y, c.width, c.height); });
    BitmapInfo info{};
    Pixels pixels;
    ASSERT_EQ(DecodeJpegScaled(jpeg.data(), static_cast<uint32_t>(jpeg.size()), c.area, &info,
                               pixels.bytes.data(), pixels.bytes.size()),
              0);
    EXPECT_EQ(ScaledJpegSize(c.width, c.height, c.area).width, c.decoded.width);
    EXPECT_EQ(info.header.width, c.decoded.width);
    EXPECT_EQ(info.header.height, -c.decoded.height);  // top-down
    EXPECT_EQ(info.header.bitCount, 32);
    EXPECT_EQ(info.header.sizeImage, uint32_t(c.decoded.width * c.decoded.height * 4));
    const int w = c.decoded.width, h = c.decoded.height;
    ExpectNear(WordAt(pixels, info, w / 4, h / 4), {255, 0, 0}, "top left");
    ExpectNear(WordAt(pixels, info, w * 3 / 4, h / 4), {0, 255, 0}, "top right");
    ExpectNear(WordAt(pixels, info, w / 4, h * 3 / 4), {0, 0, 255}, "bottom left");
    ExpectNear(WordAt(pixels, info, w * 3 / 4, h * 3 / 4), {255, 255, 255}, "bottom right");
    EXPECT_EQ(pixels.bytes[info.header.sizeImage], 0xA5) << "written past the picture";
  }
}

TEST(ScaledJpegDecode, RefusesWhatDoesNotFitAndFillsInCutFrames) {
  BitmapInfo info{};
  Pixels pixels;
  const auto decode = [&](const std::vector<uint8_t>& jpeg, PictureSize area, size_t room) {
    return DecodeJpegScaled(jpeg.data(), static_cast<uint32_t>(jpeg.size()), area, &info,
                            pixels.bytes.data(), room);
  };
  EXPECT_EQ(decode({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}, {0, 0}, pixels.bytes.size()),
            -1);
  // 64 x 48 needs 12288 bytes at full size, 768 at 1/4.
  const std::vector<uint8_t> red = MakeJpeg(64, 48, false, Red);
  EXPECT_EQ(decode(red, {0, 0}, 12287), -1);
  EXPECT_TRUE(pixels.Untouched());
  EXPECT_EQ(info.header.width, 0);
  EXPECT_EQ(decode(red, {16, 12}, 768), 0);
  EXPECT_EQ(info.header.width, 16);

  // Grey frames come out grey; a frame cut in half is decoded from its own
  // bytes only, its end filled in.
  const auto grey = [](int x, int y) -> Colour {
    const uint8_t v = y < 64 ? uint8_t(180 + x * y * 37 % 40) : 0;  // busy: half lands in the scan
    return {v, v, v};
  };
  const std::vector<uint8_t> whole = MakeJpeg(128, 128, true, grey);
  const std::vector<uint8_t> half(whole.begin(), whole.begin() + whole.size() / 2);
  ASSERT_EQ(decode(half, {0, 0}, pixels.bytes.size()), 0);
  EXPECT_EQ(info.header.width, 128);
  ExpectNear(WordAt(pixels, info, 5, 5), {200, 200, 200}, "top row");
}

TEST(FitPicture, KeepsAspectAndCentres) {
  struct Case {
    int client_width, client_height;
    PictureRect expected;
  } cases[] = {{160, 120, {0, 0, 160, 120}},
               {400, 400, {0, 50, 400, 300}},
               {800, 300, {200, 0, 400, 300}},
               {100, 100, {0, 13, 100, 75}}};
  for (const Case& c : cases) {
    const PictureRect r = FitPicture(640, 480, c.client_width, c.client_height);
    EXPECT_EQ(std::tie(r.x, r.y, r.width, r.height),
              std::tie(c.expected.x, c.expected.y, c.expected.width, c.expected.height))
        << c.client_width << "x" << c.client_height;
  }
}

TEST(DecodeAndDrawThread, EachSizeGetsItsOwnSurfaceAndHiddenWindowsGetNothing) {
  FakeLiveTarget target;
  NTavoDecodeAndDrawThread decoder;
  decoder.SetTargetWindow(&target);
  ASSERT_TRUE(decoder.Start());
  const auto put = [&](const std::vector<uint8_t>& jpeg) {
    ASSERT_EQ(decoder.ring().Put(jpeg.data(), static_cast<uint32_t>(jpeg.size())), 0);
  };
  put(MakeJpeg(64, 48, false, Red));
  ASSERT_TRUE(target.WaitForDrawn(1));
  put({0xFF, 0xD8, 0x00});  // skipped: the window keeps its picture
  put(MakeJpeg(32, 16, false, Red));
  ASSERT_TRUE(target.WaitForDrawn(2));
  target.visible = false;
  put(MakeJpeg(32, 16, false, Red));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  decoder.Stop();
  ASSERT_TRUE(decoder.WaitForEnd(std::chrono::seconds(5)));
  std::lock_guard<std::mutex> lock(target.mu);
  EXPECT_EQ(target.surfaces, (std::vector<std::pair<int, int>>{{64, 48}, {32, 16}}));
  EXPECT_EQ(target.drawn, (std::vector<std::pair<int, int>>{{64, 48}, {32, 16}}));
  EXPECT_EQ(target.releases.load(), 2);  // at the size change and at the end
}

TEST(DecodeAndDrawThread, PicturesAreDecodedNoLargerThanTheTargetsArea) {
  FakeLiveTarget target;
  target.area_width = 16;
  target.area_height = 12;
  NTavoDecodeAndDrawThread decoder;
  decoder.SetTargetWindow(&target);
  ASSERT_TRUE(decoder.Start());
  size_t drawn = 0;
  for (const std::vector<uint8_t>& jpeg :
       {MakeJpeg(64, 48, false, Red), MakeJpeg(128, 72, false, Red)}) {
    ASSERT_EQ(decoder.ring().Put(jpeg.data(), static_cast<uint32_t>(jpeg.size())), 0);
    ASSERT_TRUE(target.WaitForDrawn(++drawn));
  }
  decoder.Stop();
  ASSERT_TRUE(decoder.WaitForEnd(std::chrono::seconds(5)));
  std::lock_guard<std::mutex> lock(target.mu);
  // 1/4, and 1/8 fitted below 16 x 12: each size a surface of its own.
  const std::vector<std::pair<int, int>> sizes = {{16, 12}, {16, 9}};
  EXPECT_EQ(target.drawn, sizes);
  EXPECT_EQ(target.surfaces, sizes);
}

TEST(JpegDecode, PicturesPastTheScanOrWorkLimitAreRefusedAndCountedNotPrinted) {
  const size_t scans = CountScans(MakeRepeatedScans(64, 48, 0));
  const uint64_t work = 64 * 48 * scans;
  struct Case {
    int repeats;
    uint64_t max_work;
    const char* counts;  // null: decoded, and nothing to report
    const char* message;
  } cases[] = {
      {0, kMaxJpegWork, nullptr, nullptr},
      {kMaxJpegScans - int(scans), kMaxJpegWork, "not decoded 0, decoded with damaged data 1",
       "Inconsistent progression sequence"},
      {kMaxJpegScans - int(scans) + 1, kMaxJpegWork, "not decoded 1,", "too many scans"},
      {20000, kMaxJpegWork, "not decoded 1,", "too many scans"},
      {0, work, nullptr, nullptr},
      {0, work - 1, "not decoded 1,", "too much work"},
  };
  std::fflush(stderr);
  FILE* captured = std::tmpfile();
  ASSERT_NE(captured, nullptr);
  const int saved = dup(STDERR_FILENO);
  ASSERT_GE(dup2(fileno(captured), STDERR_FILENO), 0);
  const auto later = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  for (const Case& c : cases) {
    const std::vector<uint8_t> jpeg = MakeRepeatedScans(64, 48, c.repeats);
    SCOPED_TRACE(testing::Message() << CountScans(jpeg) << " scans, work " << c.max_work);
    JpegTroubleCount trouble;
    JpegDecodeControl control;
    control.max_work = c.max_work;
    control.trouble = &trouble;
    BitmapInfo info{};
    Pixels pixels;
    const int result = DecodeJpegScaled(jpeg.data(), static_cast<uint32_t>(jpeg.size()), {0, 0},
                                        &info, pixels.bytes.data(), pixels.bytes.size(), control);
    const std::string report = trouble.TakeReport(later);
    if (!c.counts) {
      EXPECT_EQ(report, "");
    } else {
      EXPECT_NE(report.find(c.counts), std::string::npos) << report;
      EXPECT_NE(report.find(c.message), std::string::npos) << report;
    }
    const bool refused = c.counts && std::strstr(c.counts, "not decoded 1");
    EXPECT_EQ(result, refused ? -1 : 0);
    // All scans are read before any pixel is made.
    if (refused) {
      EXPECT_TRUE(pixels.Untouched());
    }
  }
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  EXPECT_EQ(std::ftell(captured), 0L) << "the decoder printed";
  std::fclose(captured);
}

TEST(JpegDecode, TroubleIsReportedOnceAMinuteAtMost) {
  JpegTroubleCount trouble;
  const auto t = std::chrono::steady_clock::now();
  trouble.CountRefused("Not a JPEG file", t);
  trouble.CountDamaged("Premature end of JPEG file", t + std::chrono::seconds(30));
  EXPECT_EQ(trouble.TakeReport(t + std::chrono::seconds(59)), "");
  EXPECT_EQ(trouble.TakeReport(t + std::chrono::seconds(60)),
            "Live view, camera pictures in the last 60 s: not decoded 1, decoded with damaged "
            "data 1; the decoder's last message: Premature end of JPEG file\n");
  EXPECT_EQ(trouble.TakeReport(t + std::chrono::seconds(200)), "");  // counted again from 0
}

// A live window whose decode thread, which asks it for the picture area
// right before each decode, can be held there.
class HoldingTarget : public FakeLiveTarget {
 public:
  PictureSize PictureArea() const override {
    std::unique_lock<std::mutex> lock(hold_mu_);
    ++decodes_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !holding_; });
    return FakeLiveTarget::PictureArea();
  }
  void Hold(bool on) {
    std::lock_guard<std::mutex> lock(hold_mu_);
    holding_ = on;
    changed_.notify_all();
  }
  bool WaitForDecodes(int count) {
    std::unique_lock<std::mutex> lock(hold_mu_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return decodes_ >= count; });
  }

 private:
  mutable std::mutex hold_mu_;
  mutable std::condition_variable changed_;
  mutable int decodes_ = 0;
  bool holding_ = false;
};

// Frames that arrive during a decode are passed over for the newest, and
// stopping the video thread as the finish page does, on the UI thread, ends a
// decode in progress instead of waiting for its scans.
TEST(DecodeAndDrawThread, DecodesOnlyTheNewestFrameAndAStopEndsADecode) {
  HoldingTarget target;
  NTavoVideoThread video;
  video.SetLiveWindow(&target);
  video.SetCamera(L"127.0.0.1", 1, L"");  // refused: no stream, only these frames
  video.decoder()->SetDecodeLimits(INT_MAX, UINT64_MAX);
  const auto put = [&](const std::vector<uint8_t>& jpeg) {
    ASSERT_EQ(video.decoder()->ring().Put(jpeg.data(), static_cast<uint32_t>(jpeg.size())), 0);
  };
  target.Hold(true);
  ASSERT_TRUE(video.Start());
  put(MakeJpeg(64, 48, false, Red));
  ASSERT_TRUE(target.WaitForDecodes(1));
  for (int size : {8, 16, 24}) put(MakeJpeg(size, size, false, Red));
  target.Hold(false);
  ASSERT_TRUE(target.WaitForDrawn(2));

  put(MakeRepeatedScans(1280, 960, 5000));  // seconds of decoding, in 60 KB
  ASSERT_TRUE(target.WaitForDecodes(3));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // well into its scans
  EXPECT_TRUE(testsupport::EndsWithoutHanging("stopping during a decode",
                                              std::chrono::milliseconds(500), [&] {
                                                video.Stop();
                                                video.Join();
                                              }));
  EXPECT_FALSE(video.decoder()->IsRunning());
  std::lock_guard<std::mutex> lock(target.mu);
  EXPECT_EQ(target.drawn, (std::vector<std::pair<int, int>>{{64, 48}, {24, 24}}));
}

}  // namespace
