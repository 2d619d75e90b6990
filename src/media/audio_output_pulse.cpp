// IAudioOutput on the PulseAudio server of the desktop (PipeWire provides the
// same server): a threaded main loop, one context for the output's life and
// one playback stream on the default sink per opened format.

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <deque>
#include <thread>

#include "media/audio_output.h"

namespace {

// The player expands mu-law into host-order samples and the camera sends
// little-endian PCM; the stream is declared little-endian.
static_assert(std::endian::native == std::endian::little);

// Bounds of the waits for the server; a stopping live view may wait for them.
constexpr int kConnectWaitMs = 1000;
constexpr int kFlushWaitMs = 200;
// What the server keeps buffered for the stream before and while playing:
// a few packets, so that sound starts soon and never lags far behind.
constexpr pa_usec_t kTargetLatencyUs = 60000;

bool SampleSpecOf(const WaveFormat& format, pa_sample_spec* spec) {
  if (format.formatTag != kWaveFormatPcm) return false;
  switch (format.bitsPerSample) {
    case 8:
      spec->format = PA_SAMPLE_U8;
      break;
    case 16:
      spec->format = PA_SAMPLE_S16LE;
      break;
    case 24:
      spec->format = PA_SAMPLE_S24LE;
      break;
    case 32:
      spec->format = PA_SAMPLE_S32LE;
      break;
    default:
      return false;
  }
  spec->rate = format.samplesPerSec;
  spec->channels = static_cast<uint8_t>(format.channels);
  return format.channels <= PA_CHANNELS_MAX && pa_sample_spec_valid(spec);
}

class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
  ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

// Threads: every method runs on the audio thread, with the main loop's lock
// held around each use of the context and the stream; the main loop's own
// thread runs their callbacks (none are set).
class PulseAudioOutput : public IAudioOutput {
 public:
  ~PulseAudioOutput() override;
  bool Open(const WaveFormat& format) override;
  bool Write(const uint8_t* data, int size) override;
  Queue Queued() override;
  void Close() override;
  int64_t LatencyUs() override;

 private:
  bool Connect();
  void DropContext();
  // With the lock held: lets the main loop run until `done` or `ms` passed.
  template <typename Done>
  bool WaitUntil(Done done, int ms);

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  pa_sample_spec spec_{};
  uint64_t written_ = 0;       // bytes written since the stream opened
  std::deque<uint64_t> ends_;  // where each queued buffer ends, in those bytes
};

template <typename Done>
bool PulseAudioOutput::WaitUntil(Done done, int ms) {
  for (int waited = 0;; waited += 5) {
    if (done()) return true;
    if (waited >= ms) return false;
    pa_threaded_mainloop_unlock(loop_);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    pa_threaded_mainloop_lock(loop_);
  }
}

PulseAudioOutput::~PulseAudioOutput() {
  Close();
  if (!loop_) return;
  {
    LoopLock lock(loop_);
    DropContext();
  }
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

void PulseAudioOutput::DropContext() {
  if (!context_) return;
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  context_ = nullptr;
}

// Connects to the server once; after a failure, each new format tries again.
bool PulseAudioOutput::Connect() {
  if (!loop_) {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) return false;
    if (pa_threaded_mainloop_start(loop_) < 0) {
      pa_threaded_mainloop_free(loop_);
      loop_ = nullptr;
      return false;
    }
  }
  LoopLock lock(loop_);
  if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) return true;
  DropContext();
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Quenlo Setup");
  if (!context_) return false;
  // Never start a server of our own: no server means no sound.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    DropContext();
    return false;
  }
  WaitUntil(
      [this] {
        return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) ||
               pa_context_get_state(context_) == PA_CONTEXT_READY;
      },
      kConnectWaitMs);
  if (pa_context_get_state(context_) == PA_CONTEXT_READY) return true;
  DropContext();
  return false;
}

bool PulseAudioOutput::Open(const WaveFormat& format) {
  Close();
  pa_sample_spec spec{};
  if (!SampleSpecOf(format, &spec) || !Connect()) return false;
  LoopLock lock(loop_);
  stream_ = pa_stream_new(context_, "Live sound", &spec, nullptr);
  if (!stream_) return false;
  pa_buffer_attr attr;
  attr.maxlength = UINT32_MAX;
  attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &spec));
  attr.prebuf = UINT32_MAX;
  attr.minreq = UINT32_MAX;
  attr.fragsize = UINT32_MAX;
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
  const bool ready =
      pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) == 0 &&
      WaitUntil(
          [this] {
            return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)) ||
                   pa_stream_get_state(stream_) == PA_STREAM_READY;
          },
          kConnectWaitMs) &&
      pa_stream_get_state(stream_) == PA_STREAM_READY;
  if (!ready) {
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
    return false;
  }
  spec_ = spec;
  written_ = 0;
  ends_.clear();
  return true;
}

bool PulseAudioOutput::Write(const uint8_t* data, int size) {
  if (!stream_ || size <= 0) return false;
  LoopLock lock(loop_);
  if (pa_stream_get_state(stream_) != PA_STREAM_READY ||
      pa_stream_write(stream_, data, static_cast<size_t>(size), nullptr, 0, PA_SEEK_RELATIVE) < 0)
    return false;
  written_ += static_cast<uint64_t>(size);
  ends_.push_back(written_);
  return true;
}

// The stream's latency less the sink's own is what waits in the server for
// this stream; the buffers that end before that part have been taken.
IAudioOutput::Queue PulseAudioOutput::Queued() {
  if (!stream_) return {0, 0};
  LoopLock lock(loop_);
  pa_usec_t latency = 0;
  int negative = 0;
  const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
  if (!timing || pa_stream_get_latency(stream_, &latency, &negative) != 0) {
    return {static_cast<int>(ends_.size()), 0};  // not known yet: count what was written
  }
  const pa_usec_t waiting =
      negative || latency < timing->sink_usec ? 0 : latency - timing->sink_usec;
  const uint64_t waiting_bytes = std::min<uint64_t>(written_, pa_usec_to_bytes(waiting, &spec_));
  while (!ends_.empty() && ends_.front() <= written_ - waiting_bytes) ends_.pop_front();
  return {static_cast<int>(ends_.size()), static_cast<int64_t>(waiting)};
}

int64_t PulseAudioOutput::LatencyUs() {
  if (!stream_) return -1;
  LoopLock lock(loop_);
  pa_usec_t latency = 0;
  int negative = 0;
  if (pa_stream_get_latency(stream_, &latency, &negative) != 0) return -1;
  return negative ? -static_cast<int64_t>(latency) : static_cast<int64_t>(latency);
}

// Queued sound is dropped, not played out: a closing live view stops at once.
void PulseAudioOutput::Close() {
  if (!stream_) return;
  LoopLock lock(loop_);
  if (pa_operation* flush = pa_stream_flush(stream_, nullptr, nullptr)) {
    WaitUntil([flush] { return pa_operation_get_state(flush) != PA_OPERATION_RUNNING; },
              kFlushWaitMs);
    pa_operation_unref(flush);
  }
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
  ends_.clear();
}

}  // namespace

std::unique_ptr<IAudioOutput> MakeDefaultAudioOutput() {
  return std::make_unique<PulseAudioOutput>();
}
