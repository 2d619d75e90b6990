#include "discovery/transactions.h"

namespace {

bool HasTarget(const RequestTarget& target) {
  return target.cameraIp && target.cameraMac && target.userName && target.password;
}

}  // namespace

void SearchTransaction(FinderCallback callback, void* context, AdapterEntry adapter) {
  uint8_t request[kDiscoveryHeaderSize];
  const size_t length = BuildSearchRequest(request, sizeof request);
  RunDiscoveryExchange(callback, context, adapter, request, length, kCommandSearch);
}

void SetAddressTransaction(FinderCallback callback, void* context, const RequestTarget& target,
                           int mode, const char* ip, const char* mask, const char* gateway,
                           AdapterEntry adapter) {
  if (!HasTarget(target) || (mode == 0 && (!ip || !mask || !gateway))) return;
  uint8_t request[kMaxRequestSize];
  const size_t length =
      BuildSetAddressRequest(target, mode, ip, mask, gateway, request, sizeof request);
  RunDiscoveryExchange(callback, context, adapter, request, length, kCommandSetAddress);
}

void SetNetworkTransaction(FinderCallback callback, void* context, const RequestTarget& target,
                           int mode, const NetworkSettingsTexts& settings, AdapterEntry adapter) {
  if (!HasTarget(target)) return;
  const NetworkSettingsTexts& s = settings;
  if (mode == 0 && (!s.ip || !s.mask || !s.gateway || !s.dns1 || !s.dns2)) return;
  if (mode == 2 && (!s.accountUser || !s.accountPassword)) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildSetNetworkRequest(target, mode, settings, request, sizeof request);
  RunDiscoveryExchange(callback, context, adapter, request, length, kCommandSetNetwork);
}

void PlainTransaction(int command, FinderCallback callback, void* context,
                      const RequestTarget& target, AdapterEntry adapter) {
  if (!HasTarget(target)) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildPlainRequest(command, target, request, sizeof request);
  if (length > 0) RunDiscoveryExchange(callback, context, adapter, request, length, command);
}

void TextTransaction(FinderCallback callback, void* context, const RequestTarget& target,
                     const char* text, AdapterEntry adapter) {
  if (!HasTarget(target) || !text) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildTextRequest(target, text, request, sizeof request);
  RunDiscoveryExchange(callback, context, adapter, request, length, 6);
}

void ByteTransaction(FinderCallback callback, void* context, const RequestTarget& target,
                     uint8_t value, AdapterEntry adapter) {
  if (!HasTarget(target)) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildByteRequest(target, value, request, sizeof request);
  RunDiscoveryExchange(callback, context, adapter, request, length, 7);
}

void Command9Transaction(FinderCallback callback, void* context, const RequestTarget& target,
                         const char* text, const int values[5], const char* text2,
                         AdapterEntry adapter) {
  if (!HasTarget(target) || !text || !text2) return;
  uint8_t request[kMaxRequestSize];
  const size_t length = BuildCommand9Request(target, text, values, text2, request, sizeof request);
  RunDiscoveryExchange(callback, context, adapter, request, length, 9);
}
