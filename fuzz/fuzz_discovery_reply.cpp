// One datagram as the finder receives it: the acceptance test of every
// command, then what the dialog reads from an accepted search reply.
#include <cstring>
#include <string>

#include "app/text_convert.h"
#include "discovery/discovery_wire.h"
#include "fuzz_support.h"

namespace {

void ReadRecord(const uint8_t* reply) {
  const uint8_t adapter[8] = {0x02, 0, 0, 0, 0, 0x01, 0, 0};
  CameraRecord record;
  CompleteCameraRecord(reply, adapter, &record);
  const std::string_view model = RecordModelName(record);
  const std::string_view name = RecordCameraName(record);
  fuzz::Require(model.size() <= sizeof record.modelName);
  fuzz::Require(name.size() <= sizeof record.cameraName);
  fuzz::Require(fuzz::IsWellFormedUtf8(Latin1ToUtf8(model)));
  const std::string shown = RepairUtf8(name);
  fuzz::Require(fuzz::IsWellFormedUtf8(shown));
  fuzz::Require(!fuzz::IsWellFormedUtf8(name) || shown == name);

  char mac_text[13];
  FormatMacText(record.header.macAddress, mac_text);
  uint8_t mac[6];
  fuzz::Require(ParseMacText(mac_text, mac) == 6);
  fuzz::Require(std::memcmp(mac, record.header.macAddress, 6) == 0);

  char dotted[16];
  FormatDottedAddress(RecordIpAddress(record), dotted);
  fuzz::Require(ParseDottedAddress(dotted) == RecordIpAddress(record));
  FormatDottedAddress(RecordSubnetMask(record), dotted);
  fuzz::Require(ParseDottedAddress(dotted) == RecordSubnetMask(record));
  static_cast<void>(RecordHttpPort(record));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int command = kFirstCommand; command <= kLastCommand; ++command) {
    const CommandLayout* layout = FindCommandLayout(command);
    fuzz::Require(layout != nullptr && layout->replySize <= kMaxReplySize);
    const bool accepted = command == kCommandSearch
                              ? IsSearchReply(data, size)
                              : IsReplyTo(command, layout->replySize, data, size);
    if (!accepted) continue;
    fuzz::Require(size == layout->replySize);
    if (command == kCommandSearch)
      ReadRecord(data);
    else
      static_cast<void>(ReplyStatus(data));
  }
  return 0;
}
