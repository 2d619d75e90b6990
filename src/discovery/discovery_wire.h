#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The datagrams of the camera discovery protocol and the record of one found
// camera. Every request is broadcast to UDP port 62720 and names its target
// camera by MAC inside the datagram, so a camera answers even when its address
// is outside the computer's subnet. Multi-byte fields are byte arrays, so the
// packed structs can be read at any alignment; the accessors below decode them.

inline constexpr uint16_t kDiscoveryPort = 62720;
inline constexpr size_t kDiscoveryHeaderSize = 29;
inline constexpr size_t kCredentialsSize = 128;
inline constexpr size_t kSearchReplySize = 541;
inline constexpr size_t kResultReplySize = 29;
inline constexpr size_t kMaxRequestSize = 306;
inline constexpr size_t kMaxReplySize = 750;
inline constexpr uint8_t kDirectionRequest = 0x0A;
inline constexpr uint8_t kDirectionReply = 0x0B;

inline constexpr int kCommandSearch = 1;
inline constexpr int kCommandSetAddress = 2;
inline constexpr int kCommandSetNetwork = 3;
inline constexpr int kFirstCommand = 1;
inline constexpr int kLastCommand = 11;

#pragma pack(push, 1)
struct DiscoveryHeader {
  char magic[4];               // "RAVN"
  uint8_t protocolVersion[4];  // big-endian
  uint8_t direction;           // kDirectionRequest or kDirectionReply
  uint8_t command[2];          // little-endian
  uint8_t reserved[2];
  uint8_t ipAddress[4];  // network byte order
  uint8_t macAddress[6];
  uint8_t status[2];         // 0: success
  uint8_t payloadLength[4];  // little-endian
};

// One found camera: the 541-byte search reply exactly as received, followed by
// the hardware address of the local adapter it arrived on. A plain value,
// copied whole; a camera is known by its MAC alone. The text fields come from
// the network and need not be terminated: read them with RecordModelName and
// RecordCameraName.
struct CameraRecord {
  DiscoveryHeader header;
  uint8_t reserved1[96];
  char modelName[30];
  char cameraName[128];   // UTF-8
  uint8_t subnetMask[4];  // network byte order
  uint8_t reserved2[12];
  uint8_t httpPort[2];  // little-endian
  uint8_t reserved3[240];
  uint8_t adapterAddress[8];
};
#pragma pack(pop)

static_assert(sizeof(DiscoveryHeader) == kDiscoveryHeaderSize);
static_assert(offsetof(DiscoveryHeader, direction) == 8);
static_assert(offsetof(DiscoveryHeader, command) == 9);
static_assert(offsetof(DiscoveryHeader, ipAddress) == 13);
static_assert(offsetof(DiscoveryHeader, macAddress) == 17);
static_assert(offsetof(DiscoveryHeader, status) == 23);
static_assert(offsetof(DiscoveryHeader, payloadLength) == 25);
static_assert(sizeof(CameraRecord) == 549);
static_assert(offsetof(CameraRecord, header) + offsetof(DiscoveryHeader, ipAddress) == 13);
static_assert(offsetof(CameraRecord, header) + offsetof(DiscoveryHeader, macAddress) == 17);
static_assert(offsetof(CameraRecord, modelName) == 125);
static_assert(offsetof(CameraRecord, cameraName) == 155);
static_assert(offsetof(CameraRecord, subnetMask) == 283);
static_assert(offsetof(CameraRecord, httpPort) == 299);
static_assert(offsetof(CameraRecord, adapterAddress) == 541);

// Sizes of one command's request and reply; null for an unknown code.
struct CommandLayout {
  int command;
  uint32_t version;
  size_t requestSize;
  size_t replySize;
  bool dataReply;  // commands 4, 8, 10: the whole reply is handed on
};
const CommandLayout* FindCommandLayout(int command);

// The target camera and the credentials of every request but the search. The
// texts are NUL-terminated; a null text counts as empty.
struct RequestTarget {
  const char* cameraIp;   // dotted text; text that does not parse sends all-ones
  const char* cameraMac;  // 12 hex digits; a shorter text leaves bytes zero
  const char* userName;
  const char* password;
};

// Each builder zeroes `out`, writes the request and returns its length, or 0
// when `capacity` is smaller than the request.
size_t BuildSearchRequest(uint8_t* out, size_t capacity);
// Commands 4, 5, 8, 10 and 11: header and credentials only.
size_t BuildPlainRequest(int command, const RequestTarget& target, uint8_t* out, size_t capacity);
// Command 2. `mode` 0 sends the three addresses; any other mode sends 1 and zeros.
size_t BuildSetAddressRequest(const RequestTarget& target, int mode, const char* ip,
                              const char* mask, const char* gateway, uint8_t* out, size_t capacity);
struct NetworkSettingsTexts {
  const char* ip;
  const char* mask;
  const char* gateway;
  const char* dns1;
  const char* dns2;
  const char* accountUser;
  const char* accountPassword;
};
// Command 3. Modes 0 (fixed), 1 (DHCP) and 2 (account); any other mode sends 0 alone.
size_t BuildSetNetworkRequest(const RequestTarget& target, int mode,
                              const NetworkSettingsTexts& settings, uint8_t* out, size_t capacity);
// Command 6: one text, base64.
size_t BuildTextRequest(const RequestTarget& target, const char* text, uint8_t* out,
                        size_t capacity);
// Command 7: one byte.
size_t BuildByteRequest(const RequestTarget& target, uint8_t value, uint8_t* out, size_t capacity);
// Command 9: a plain text of at most 32 bytes, the low bytes of five values and
// a base64 text.
size_t BuildCommand9Request(const RequestTarget& target, const char* text, const int values[5],
                            const char* text2, uint8_t* out, size_t capacity);

// Writes `text` base64-encoded and NUL-terminated into a zeroed field of
// `fieldSize` bytes; a text whose encoding does not fit leaves the field zero.
// Returns whether it was written.
bool WriteBase64Field(uint8_t* field, size_t fieldSize, const char* text);

// The four tests of a reply, in order: length, magic, direction, command.
bool IsReplyTo(int command, size_t expectedLength, const uint8_t* data, size_t length);
// A search reply must also carry status 0.
bool IsSearchReply(const uint8_t* data, size_t length);
uint16_t ReplyStatus(const uint8_t* data);

// Copies an accepted search reply and the receiving adapter's 8-byte address
// into a record.
void CompleteCameraRecord(const uint8_t* reply, const uint8_t adapterAddress[8],
                          CameraRecord* record);

uint32_t RecordIpAddress(const CameraRecord& record);   // network byte order
uint32_t RecordSubnetMask(const CameraRecord& record);  // network byte order
uint16_t RecordHttpPort(const CameraRecord& record);
// The text up to its NUL, or the whole field when the camera sent none.
std::string_view RecordModelName(const CameraRecord& record);
std::string_view RecordCameraName(const CameraRecord& record);

// "%02x" six times: 12 lower-case digits and a NUL into `out` (13 bytes or more).
void FormatMacText(const uint8_t mac[6], char* out);
// Two hex digits per byte, either case, up to the first character that is not
// one; the bytes not reached stay zero. Returns the number of bytes parsed.
int ParseMacText(const char* text, uint8_t mac[6]);

// Every text that becomes an address goes through this: exactly four decimal
// numbers from 0 to 255 separated by single dots, and nothing else. No
// leading zeros (older parsers read "010" as octal 8), no other bases, no
// blanks anywhere, no trailing text. Network byte order; nullopt otherwise.
std::optional<uint32_t> ParseDottedQuad(std::string_view text);
// The same for a NUL-terminated text (null counts as empty); all-ones when it
// does not parse.
uint32_t ParseDottedAddress(const char* text);
// Network-order address to dotted text in a 16-byte field.
void FormatDottedAddress(uint32_t address, char out[16]);
// The same as a string.
std::string DottedAddress(uint32_t network_order);
