#pragma once

#include <cstddef>
#include <cstdint>

#include "discovery/adapters.h"
#include "discovery/discovery_transport.h"
#include "discovery/discovery_wire.h"

// Where a discovery job reports: (context, data or null, command code, done).
// Called on the finder's thread; `data` is valid only during the call.
using FinderCallback = void (*)(void* context, const void* data, int command, bool done);

// One exchange of the discovery protocol through one adapter over
// `transport`: one request broadcast (a search three times, a second apart,
// the same bytes), its answers collected for up to 5 seconds, each reported
// with done = false; the transport's stop ends the exchange at once. Every failure is silent:
// nothing is reported then. Called on the finder's thread, one at a time.
// A search reply is accepted only from the address it claims, a command's
// reply only when it names the target's MAC.

// Reports a CameraRecord for every accepted reply, in arrival order. Returns
// the answers the system dropped because its receive buffer was full.
uint32_t SearchTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                           AdapterEntry adapter);

// Result commands report a pointer to one byte (1 accepted, 0 refused) for
// their first accepted reply; data commands (4, 8, 10) report the reply
// datagram, or null when its status is not 0. A null target text or a null
// text the command's variant needs sends nothing.
void SetAddressTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                           const RequestTarget& target, int mode, const char* ip, const char* mask,
                           const char* gateway, AdapterEntry adapter);
void SetNetworkTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                           const RequestTarget& target, int mode,
                           const NetworkSettingsTexts& settings, AdapterEntry adapter);
// Commands 4, 5, 8, 10 and 11, which carry nothing but the target.
void PlainTransaction(DiscoveryTransport& transport, int command, FinderCallback callback,
                      void* context, const RequestTarget& target, AdapterEntry adapter);
void TextTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                     const RequestTarget& target, const char* text, AdapterEntry adapter);
void ByteTransaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                     const RequestTarget& target, uint8_t value, AdapterEntry adapter);
void Command9Transaction(DiscoveryTransport& transport, FinderCallback callback, void* context,
                         const RequestTarget& target, const char* text, const int values[5],
                         const char* text2, AdapterEntry adapter);

// Sends `request` through `adapter` and reports the replies to `command` as
// above: the exchange itself, on any transport. Returns the answers dropped
// for a full receive buffer.
uint32_t RunDiscoveryExchange(DiscoveryTransport& transport, FinderCallback callback, void* context,
                              const AdapterEntry& adapter, const uint8_t* request,
                              size_t requestLength, int command);
