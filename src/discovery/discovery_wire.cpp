#include "discovery/discovery_wire.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "net/base64.h"

namespace {

constexpr CommandLayout kLayouts[] = {
    {1, 1, 29, 541, false},  {2, 1, 171, 29, false},  {3, 2, 306, 29, false},
    {4, 2, 157, 178, true},  {5, 2, 157, 29, false},  {6, 2, 221, 29, false},
    {7, 2, 158, 29, false},  {8, 2, 157, 158, true},  {9, 1, 285, 29, false},
    {10, 2, 157, 750, true}, {11, 2, 157, 29, false},
};

// Payload offsets, counted from the first byte after the header.
constexpr size_t kUserField = 0;
constexpr size_t kPasswordField = 64;
constexpr size_t kCredentialFieldSize = 64;

const char* OrEmpty(const char* text) { return text ? text : ""; }

void PutAddress(uint8_t* at, uint32_t networkOrder) { std::memcpy(at, &networkOrder, 4); }

void PutDotted(uint8_t* at, const char* text) { PutAddress(at, ParseDottedAddress(text)); }

void WriteHeader(const CommandLayout& layout, uint8_t* out) {
  std::memcpy(out, "RAVN", 4);
  out[4] = static_cast<uint8_t>(layout.version >> 24);
  out[5] = static_cast<uint8_t>(layout.version >> 16);
  out[6] = static_cast<uint8_t>(layout.version >> 8);
  out[7] = static_cast<uint8_t>(layout.version);
  out[8] = kDirectionRequest;
  out[9] = static_cast<uint8_t>(layout.command);
  out[10] = static_cast<uint8_t>(layout.command >> 8);
  const size_t payload = layout.requestSize - kDiscoveryHeaderSize;
  for (int i = 0; i < 4; ++i) out[25 + i] = static_cast<uint8_t>(payload >> (8 * i));
}

// Zeroes the buffer and writes the header of a targeted command and its
// credentials block. Returns the payload start, or null when it does not fit.
uint8_t* StartTargeted(int command, const RequestTarget& target, uint8_t* out, size_t capacity) {
  const CommandLayout* layout = FindCommandLayout(command);
  if (!layout || command == kCommandSearch || capacity < layout->requestSize) return nullptr;
  std::memset(out, 0, layout->requestSize);
  WriteHeader(*layout, out);
  PutDotted(out + 13, OrEmpty(target.cameraIp));
  ParseMacText(OrEmpty(target.cameraMac), out + 17);
  uint8_t* payload = out + kDiscoveryHeaderSize;
  WriteBase64Field(payload + kUserField, kCredentialFieldSize, target.userName);
  WriteBase64Field(payload + kPasswordField, kCredentialFieldSize, target.password);
  return payload;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view BoundedText(const char* field, size_t size) {
  const void* nul = std::memchr(field, 0, size);
  return std::string_view(field,
                          nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : size);
}

}  // namespace

const CommandLayout* FindCommandLayout(int command) {
  if (command < kFirstCommand || command > kLastCommand) return nullptr;
  return &kLayouts[command - kFirstCommand];
}

bool WriteBase64Field(uint8_t* field, size_t fieldSize, const char* text) {
  std::memset(field, 0, fieldSize);
  const size_t n = std::strlen(OrEmpty(text));
  if (n > fieldSize || static_cast<size_t>(Base64EncodedSize(static_cast<int>(n))) > fieldSize)
    return false;
  Base64Encode(reinterpret_cast<char*>(field), static_cast<int>(n),
               reinterpret_cast<const unsigned char*>(OrEmpty(text)), static_cast<int>(fieldSize));
  return true;
}

size_t BuildSearchRequest(uint8_t* out, size_t capacity) {
  const CommandLayout& layout = *FindCommandLayout(kCommandSearch);
  if (capacity < layout.requestSize) return 0;
  std::memset(out, 0, layout.requestSize);
  WriteHeader(layout, out);
  std::memset(out + 17, 0xFF, 6);
  return layout.requestSize;
}

size_t BuildPlainRequest(int command, const RequestTarget& target, uint8_t* out, size_t capacity) {
  const CommandLayout* layout = FindCommandLayout(command);
  if (!layout || layout->requestSize != kDiscoveryHeaderSize + kCredentialsSize) return 0;
  return StartTargeted(command, target, out, capacity) ? layout->requestSize : 0;
}

size_t BuildSetAddressRequest(const RequestTarget& target, int mode, const char* ip,
                              const char* mask, const char* gateway, uint8_t* out,
                              size_t capacity) {
  uint8_t* payload = StartTargeted(kCommandSetAddress, target, out, capacity);
  if (!payload) return 0;
  payload[128] = mode == 0 ? 0 : 1;
  if (mode == 0) {
    PutDotted(payload + 130, OrEmpty(ip));
    PutDotted(payload + 134, OrEmpty(mask));
    PutDotted(payload + 138, OrEmpty(gateway));
  }
  return FindCommandLayout(kCommandSetAddress)->requestSize;
}

size_t BuildSetNetworkRequest(const RequestTarget& target, int mode,
                              const NetworkSettingsTexts& settings, uint8_t* out, size_t capacity) {
  uint8_t* payload = StartTargeted(kCommandSetNetwork, target, out, capacity);
  if (!payload) return 0;
  if (mode == 0) {
    PutDotted(payload + 129, OrEmpty(settings.ip));
    PutDotted(payload + 133, OrEmpty(settings.mask));
    PutDotted(payload + 137, OrEmpty(settings.gateway));
    PutDotted(payload + 141, OrEmpty(settings.dns1));
    PutDotted(payload + 145, OrEmpty(settings.dns2));
  } else if (mode == 1) {
    payload[128] = 1;
  } else if (mode == 2) {
    payload[128] = 2;
    WriteBase64Field(payload + 149, 64, settings.accountUser);
    WriteBase64Field(payload + 213, 64, settings.accountPassword);
  }
  return FindCommandLayout(kCommandSetNetwork)->requestSize;
}

size_t BuildTextRequest(const RequestTarget& target, const char* text, uint8_t* out,
                        size_t capacity) {
  uint8_t* payload = StartTargeted(6, target, out, capacity);
  if (!payload) return 0;
  WriteBase64Field(payload + 128, 64, text);
  return FindCommandLayout(6)->requestSize;
}

size_t BuildByteRequest(const RequestTarget& target, uint8_t value, uint8_t* out, size_t capacity) {
  uint8_t* payload = StartTargeted(7, target, out, capacity);
  if (!payload) return 0;
  payload[128] = value;
  return FindCommandLayout(7)->requestSize;
}

size_t BuildCommand9Request(const RequestTarget& target, const char* text, const int values[5],
                            const char* text2, uint8_t* out, size_t capacity) {
  uint8_t* payload = StartTargeted(9, target, out, capacity);
  if (!payload) return 0;
  const char* plain = OrEmpty(text);
  std::memcpy(payload + 128, plain, strnlen(plain, 32));  // byte 160 stays the NUL
  for (int i = 0; i < 5; ++i) payload[161 + i] = static_cast<uint8_t>(values[i]);
  WriteBase64Field(payload + 166, 90, text2);
  return FindCommandLayout(9)->requestSize;
}

bool IsReplyTo(int command, size_t expectedLength, const uint8_t* data, size_t length) {
  if (length != expectedLength || length < kDiscoveryHeaderSize) return false;
  if (std::memcmp(data, "RAVN", 4) != 0) return false;
  if (data[8] != kDirectionReply) return false;
  return (data[9] | (data[10] << 8)) == command;
}

bool IsSearchReply(const uint8_t* data, size_t length) {
  return IsReplyTo(kCommandSearch, kSearchReplySize, data, length) && ReplyStatus(data) == 0;
}

uint16_t ReplyStatus(const uint8_t* data) {
  return static_cast<uint16_t>(data[23] | (data[24] << 8));
}

void CompleteCameraRecord(const uint8_t* reply, const uint8_t adapterAddress[8],
                          CameraRecord* record) {
  std::memcpy(record, reply, kSearchReplySize);
  std::memcpy(record->adapterAddress, adapterAddress, 8);
}

uint32_t RecordIpAddress(const CameraRecord& record) {
  uint32_t value;
  std::memcpy(&value, record.header.ipAddress, 4);
  return value;
}

uint32_t RecordSubnetMask(const CameraRecord& record) {
  uint32_t value;
  std::memcpy(&value, record.subnetMask, 4);
  return value;
}

uint16_t RecordHttpPort(const CameraRecord& record) {
  return static_cast<uint16_t>(record.httpPort[0] | (record.httpPort[1] << 8));
}

std::string_view RecordModelName(const CameraRecord& record) {
  return BoundedText(record.modelName, sizeof record.modelName);
}

std::string_view RecordCameraName(const CameraRecord& record) {
  return BoundedText(record.cameraName, sizeof record.cameraName);
}

void FormatMacText(const uint8_t mac[6], char* out) {
  std::snprintf(out, 13, "%02x%02x%02x%02x%02x%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                mac[5]);
}

int ParseMacText(const char* text, uint8_t mac[6]) {
  std::memset(mac, 0, 6);
  int parsed = 0;
  for (; parsed < 6; ++parsed) {
    const int high = HexDigit(text[2 * parsed]);
    if (high < 0) break;
    const int low = HexDigit(text[2 * parsed + 1]);
    if (low < 0) break;
    mac[parsed] = static_cast<uint8_t>(high << 4 | low);
  }
  return parsed;
}

std::optional<uint32_t> ParseDottedQuad(std::string_view text) {
  uint32_t host_order = 0;
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (at >= text.size() || text[at++] != '.')) return std::nullopt;
    const size_t start = at;
    unsigned value = 0;
    while (at < text.size() && at - start < 3 && text[at] >= '0' && text[at] <= '9')
      value = value * 10 + static_cast<unsigned>(text[at++] - '0');
    const size_t digits = at - start;
    if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return std::nullopt;
    host_order = host_order << 8 | value;
  }
  if (at != text.size()) return std::nullopt;
  return htonl(host_order);
}

uint32_t ParseDottedAddress(const char* text) {
  return ParseDottedQuad(text ? std::string_view(text) : std::string_view()).value_or(0xFFFFFFFFu);
}

void FormatDottedAddress(uint32_t address, char out[16]) {
  in_addr value{};
  value.s_addr = address;
  std::memset(out, 0, 16);
  inet_ntop(AF_INET, &value, out, 16);
}

std::string DottedAddress(uint32_t network_order) {
  char text[16];
  FormatDottedAddress(network_order, text);
  return text;
}
