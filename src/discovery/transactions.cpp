#include "discovery/transactions.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr auto kListenWindow = std::chrono::milliseconds(5000);
constexpr auto kWait = std::chrono::milliseconds(5000);  // for one reply
constexpr auto kDataPause = std::chrono::milliseconds(1000);
// A search goes out three times, a second apart, inside its window: one lost
// datagram must not lose a camera. A camera answers each copy; the owner
// keeps one entry per MAC. A command goes out once: its camera acts on it.
constexpr int kSearchSends = 3;
constexpr auto kResendGap = std::chrono::milliseconds(1000);

bool HasTarget(const RequestTarget& target) {
  return target.cameraIp && target.cameraMac && target.userName && target.password;
}

// Reports one accepted reply; returns whether listening goes on.
bool Report(FinderCallback callback, void* context, const AdapterEntry& adapter, int command,
            const CommandLayout& layout, const uint8_t* reply) {
  if (command == kCommandSearch) {
    CameraRecord record;
    CompleteCameraRecord(reply, adapter.address, &record);
    if (callback) callback(context, &record, command, false);
    return true;
  }
  const bool success = ReplyStatus(reply) == 0;
  if (layout.dataReply) {
    if (callback) callback(context, success ? reply : nullptr, command, false);
  } else {
    const uint8_t result = success ? 1 : 0;
    if (callback) callback(context, &result, command, false);
  }
  return false;
}

// A reply counts only as the device it names. A search reply must come from
// the address it claims: a camera that answers by broadcast still sends from
// its own address, so another device cannot stand in for it without forging
// its source. A command's reply must name the camera the request targeted:
// any device hears the broadcast request, and another's answer must not pass
// for the target's.
bool Accepted(int command, const CommandLayout& layout, const uint8_t* request,
              const uint8_t* reply, size_t length, uint32_t source) {
  if (command == kCommandSearch) {
    uint32_t claimed;
    if (!IsSearchReply(reply, length)) return false;
    std::memcpy(&claimed, reply + offsetof(DiscoveryHeader, ipAddress), sizeof claimed);
    return claimed == source;
  }
  constexpr size_t kMac = offsetof(DiscoveryHeader, macAddress);
  return IsReplyTo(command, layout.replySize, reply, length) &&
         std::memcmp(reply + kMac, request + kMac, 6) == 0;
}

}  // namespace

// A search hears every camera until its window closes, resending its request
// meanwhile; a command stops at its first accepted reply. A data command's
// camera needs a moment before it answers. The transport's stop ends every
// wait at once.
uint32_t RunDiscoveryExchange(DiscoveryTransport& transport, FinderCallback callback, void* context,
                              const AdapterEntry& adapter, const uint8_t* request,
                              size_t requestLength, int command) {
  using TimePoint = DiscoveryTransport::Clock::time_point;
  const CommandLayout* layout = FindCommandLayout(command);
  if (!layout || requestLength != layout->requestSize) return 0;
  std::unique_ptr<DiscoveryTransport::Exchange> exchange =
      transport.Broadcast(adapter, request, requestLength);
  if (!exchange) return 0;
  const TimePoint start = transport.Now();
  if (layout->dataReply && !transport.Sleep(kDataPause)) return exchange->Dropped();
  const bool search = command == kCommandSearch;
  int sent = 1;
  alignas(8) uint8_t buffer[kMaxReplySize];
  while (transport.Now() - start <= kListenWindow) {
    // A search listens to the end of its window, waking for each copy it
    // still has to send; a command waits for one reply at a time.
    const bool resend_due = search && sent < kSearchSends;
    const TimePoint deadline = !search      ? transport.Now() + kWait
                               : resend_due ? start + sent * kResendGap
                                            : start + kListenWindow;
    uint32_t source = 0;
    const long got = exchange->Receive(buffer, sizeof buffer, deadline, &source);
    if (got == DiscoveryTransport::kTimedOut && resend_due) {
      exchange->Send(request, requestLength);  // a lost copy is what the others are for
      ++sent;
      continue;
    }
    if (got < 0) break;
    // A datagram longer than the buffer fails the length test instead of
    // passing it cut short.
    const size_t length = static_cast<size_t>(got);
    if (Accepted(command, *layout, request, buffer, length, source) &&
        !Report(callback, context, adapter, command, *layout, buffer))
      break;
  }
  return exchange->Dropped();
}

uint32_t SearchTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                           AdapterEntry adapter) {
  uint8_t request[kDiscoveryHeaderSize];
  const size_t length = BuildSearchRequest(request, sizeof request);
  return RunDiscoveryExchange(transport, callback, context, adapter, request, length,
                              kCommandSearch);
}

void SetAddressTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                           const RequestTarget& target, int mode, const char* ip, const char* mask,
                           const char* gateway, AdapterEntry adapter) {
  if (!HasTarget(target) || (mode == 0 && (!ip || !mask || !gateway))) return;
  uint8_t request[kMaxRequestSize];
  const size_t length =
      BuildSetAddressRequest(target, mode, ip, mask, gateway, request, sizeof request);
  RunDiscoveryExchange(transport, callback, context, adapter, request, length, kCommandSetAddress);
}

void SetNetworkTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                           const RequestTarget& target, int mode,
                           const NetworkSettingsTexts& settings, AdapterEntry adapter) {
  if (!HasTarget(target)) return;
  const NetworkSettingsTexts& s = settings;
  if (mode == 0 && (!s.ip || !s.mask || !s.gateway || !s.dns1 || !s.dns2)) return;
  if (mode == 2 && (!s.accountUser || !s.accountPassword)) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildSetNetworkRequest(target, mode, settings, request, sizeof request);
  RunDiscoveryExchange(transport, callback, context, adapter, request, length, kCommandSetNetwork);
}

void PlainTransaction(DiscoveryTransport& transport, int command, FinderCallback callback,
                      void* context, const RequestTarget& target, AdapterEntry adapter) {
  if (!HasTarget(target)) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildPlainRequest(command, target, request, sizeof request);
  if (length > 0)
    RunDiscoveryExchange(transport, callback, context, adapter, request, length, command);
}

void TextTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                     const RequestTarget& target, const char* text, AdapterEntry adapter) {
  if (!HasTarget(target) || !text) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildTextRequest(target, text, request, sizeof request);
  RunDiscoveryExchange(transport, callback, context, adapter, request, length, 6);
}

void ByteTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                     const RequestTarget& target, uint8_t value, AdapterEntry adapter) {
  if (!HasTarget(target)) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildByteRequest(target, value, request, sizeof request);
  RunDiscoveryExchange(transport, callback, context, adapter, request, length, 7);
}

void Command9Transaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                         const RequestTarget& target, const char* text, const int values[5],
                         const char* text2, AdapterEntry adapter) {
  if (!HasTarget(target) || !text || !text2) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildCommand9Request(target, text, values, text2, request, sizeof request);
  RunDiscoveryExchange(transport, callback, context, adapter, request, length, 9);
}
