// A picture or sound stream as a stream thread reads it: the reply header and
// its boundary, then part after part into samples of the media pool, read
// until the connection ends, as NTavoStreamThread::ReadParts does. The first
// byte says how the consumer gives samples back: bits 0-1 how many it holds
// at once, bit 2 whether it frees the newest first (out of the ring's order).
#include <algorithm>
#include <deque>
#include <memory>

#include "fuzz_support.h"
#include "net/tavo_cgi.h"

namespace {

using Sample = std::unique_ptr<NTavoMediaSample>;

// Whether the largest part would find room in the ring now. When it would
// not, the reader waits for the consumer to free room, which this
// single-threaded consumer never would: it lets go of what it holds instead.
bool LargestPartFits(const URingMemory& ring) {
  const size_t b = NTavoCGI::kMaxPartLength;
  const uint8_t* base = ring.base();
  const uint8_t* release = ring.release_position();
  const uint8_t* allocation = ring.allocation_position();
  if (release == allocation && ring.early_release_count() == 0) return true;
  if (allocation >= release)
    return b < static_cast<size_t>(base + ring.capacity() - allocation) ||
           b < static_cast<size_t>(release - base);
  return b < static_cast<size_t>(release - allocation);
}

void Consume(const NTavoMediaSample& sample, int length) {
  fuzz::Require(sample.part_length() == length);
  fuzz::Require(sample.GetPayloadLength() == std::max(0, length - 28));
  fuzz::ReadAll(sample.GetHeader(), 28);
  fuzz::ReadAll(sample.GetPayload(), static_cast<size_t>(sample.GetPayloadLength()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return -1;
  const size_t hold = data[0] & 3;
  const bool newest_first = (data[0] & 4) != 0;
  NTavoCGI cgi(true);
  if (!fuzz::FeedSocket(cgi.http().socket(), data + 1, size - 1)) return -1;
  if (!cgi.ReadStreamReply()) return 0;
  std::deque<Sample> held;
  // Every read takes at least one byte from the connection or from what the
  // previous part left over; more reads than that mean the reader is stuck.
  for (size_t reads = 0; !cgi.StreamBroken(); ++reads) {
    fuzz::Require(reads <= 2 * size + 8);
    if (!LargestPartFits(cgi.pool()->ring())) held.clear();
    Sample sample;
    const int length = cgi.ReadStreamFrame(&sample);
    fuzz::Require((length > 0) == (sample != nullptr));
    if (length <= 0) continue;
    Consume(*sample, length);
    held.push_back(std::move(sample));
    while (held.size() > hold) {
      if (newest_first)
        held.pop_back();
      else
        held.pop_front();
    }
    static_cast<void>(cgi.WaitForStreamData(0));
  }
  while (!held.empty()) held.pop_back();
  return 0;
}
