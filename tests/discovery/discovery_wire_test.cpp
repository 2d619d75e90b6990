#include "discovery/discovery_wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

const RequestTarget kTarget{"192.168.1.20", "001122334455", "admin", "secret"};

// Builds a request of `command` with default arguments into a buffer of the
// largest size; returns its bytes.
std::vector<uint8_t> Build(int command) {
  uint8_t buffer[kMaxRequestSize];
  size_t length = 0;
  const int values[5] = {1, 2, 3, 4, 5};
  const NetworkSettingsTexts settings{"10.0.0.2", "255.0.0.0", "10.0.0.1", "8.8.8.8",
                                      "8.8.4.4",  "user",      "pass"};
  switch (command) {
    case 1:
      length = BuildSearchRequest(buffer, sizeof buffer);
      break;
    case 2:
      length = BuildSetAddressRequest(kTarget, 0, "10.0.0.2", "255.0.0.0", "10.0.0.1", buffer,
                                      sizeof buffer);
      break;
    case 3:
      length = BuildSetNetworkRequest(kTarget, 0, settings, buffer, sizeof buffer);
      break;
    case 6:
      length = BuildTextRequest(kTarget, "text", buffer, sizeof buffer);
      break;
    case 7:
      length = BuildByteRequest(kTarget, 7, buffer, sizeof buffer);
      break;
    case 9:
      length = BuildCommand9Request(kTarget, "a", values, "b", buffer, sizeof buffer);
      break;
    default:
      length = BuildPlainRequest(command, kTarget, buffer, sizeof buffer);
      break;
  }
  return std::vector<uint8_t>(buffer, buffer + length);
}

std::vector<uint8_t> Reply(int command, size_t length) {
  std::vector<uint8_t> reply(length, 0);
  std::memcpy(reply.data(), "RAVN", 4);
  reply[8] = kDirectionReply;
  reply[9] = static_cast<uint8_t>(command);
  return reply;
}

TEST(DiscoveryRequest, SearchIsTheDocumentedDatagram) {
  const std::vector<uint8_t> expected = Bytes(
      {0x52, 0x41, 0x56, 0x4E, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
       0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(Build(1), expected);
}

TEST(DiscoveryRequest, SetAddressHeaderIsTheDocumentedOne) {
  const std::vector<uint8_t> request = Build(2);
  ASSERT_EQ(request.size(), 171u);
  const std::vector<uint8_t> header(request.begin(), request.begin() + 29);
  EXPECT_EQ(header, Bytes({0x52, 0x41, 0x56, 0x4E, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x02,
                           0x00, 0x00, 0x00, 0xC0, 0xA8, 0x01, 0x14, 0x00, 0x11, 0x22,
                           0x33, 0x44, 0x55, 0x00, 0x00, 0x8E, 0x00, 0x00, 0x00}));
  const uint8_t* payload = request.data() + 29;
  EXPECT_STREQ(reinterpret_cast<const char*>(payload), "YWRtaW4=");       // "admin"
  EXPECT_STREQ(reinterpret_cast<const char*>(payload + 64), "c2VjcmV0");  // "secret"
  EXPECT_EQ(payload[128], 0);
  EXPECT_EQ(std::vector<uint8_t>(payload + 130, payload + 142),
            Bytes({10, 0, 0, 2, 255, 0, 0, 0, 10, 0, 0, 1}));
}

TEST(DiscoveryRequest, EveryCommandHasItsLengthVersionAndCode) {
  struct Row {
    int command;
    size_t length;
    int version;
  };
  const Row rows[] = {{1, 29, 1},  {2, 171, 1}, {3, 306, 2}, {4, 157, 2},  {5, 157, 2}, {6, 221, 2},
                      {7, 158, 2}, {8, 157, 2}, {9, 285, 1}, {10, 157, 2}, {11, 157, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    const std::vector<uint8_t> request = Build(row.command);
    ASSERT_EQ(request.size(), row.length);
    EXPECT_EQ(std::memcmp(request.data(), "RAVN", 4), 0);
    EXPECT_EQ(std::vector<uint8_t>(request.begin() + 4, request.begin() + 8),
              Bytes({0, 0, 0, row.version}));
    EXPECT_EQ(request[8], 0x0A);
    EXPECT_EQ(request[9], row.command);
    EXPECT_EQ(request[10], 0);
    const size_t payload = row.length - 29;
    EXPECT_EQ(request[25], payload & 0xFF);
    EXPECT_EQ(request[26], payload >> 8);
    if (row.command != 1) {
      EXPECT_STREQ(reinterpret_cast<const char*>(request.data() + 29), "YWRtaW4=");
      EXPECT_EQ(request[13], 192);
      EXPECT_EQ(request[22], 0x55);
    }
  }
  uint8_t buffer[kMaxRequestSize];
  EXPECT_EQ(BuildPlainRequest(12, kTarget, buffer, sizeof buffer), 0u);
  EXPECT_EQ(BuildPlainRequest(2, kTarget, buffer, sizeof buffer), 0u);  // has its own builder
  EXPECT_EQ(BuildSetAddressRequest(kTarget, 0, "1.2.3.4", "255.0.0.0", "1.2.3.1", buffer, 170), 0u);
}

TEST(DiscoveryRequest, SetAddressDhcpSendsModeOneAndNoAddresses) {
  uint8_t buffer[kMaxRequestSize];
  for (int mode : {1, 5, -1}) {
    ASSERT_EQ(BuildSetAddressRequest(kTarget, mode, "10.0.0.2", "255.0.0.0", "10.0.0.1", buffer,
                                     sizeof buffer),
              171u);
    const uint8_t* payload = buffer + 29;
    EXPECT_EQ(payload[128], 1);
    EXPECT_EQ(payload[129], 0);
    for (int i = 130; i < 142; ++i) EXPECT_EQ(payload[i], 0) << i;
  }
}

TEST(DiscoveryRequest, SetNetworkModesWriteOnlyTheirFields) {
  uint8_t buffer[kMaxRequestSize];
  const NetworkSettingsTexts s{"10.0.0.2", "255.0.0.0", "10.0.0.1", "8.8.8.8",
                               "8.8.4.4",  "user",      "pass"};
  ASSERT_EQ(BuildSetNetworkRequest(kTarget, 0, s, buffer, sizeof buffer), 306u);
  const uint8_t* p = buffer + 29;
  EXPECT_EQ(p[128], 0);
  EXPECT_EQ(std::vector<uint8_t>(p + 129, p + 149),
            Bytes({10, 0, 0, 2, 255, 0, 0, 0, 10, 0, 0, 1, 8, 8, 8, 8, 8, 8, 4, 4}));
  EXPECT_EQ(p[149], 0);

  ASSERT_EQ(BuildSetNetworkRequest(kTarget, 2, s, buffer, sizeof buffer), 306u);
  EXPECT_EQ(p[128], 2);
  EXPECT_EQ(p[129], 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(p + 149), "dXNlcg==");
  EXPECT_STREQ(reinterpret_cast<const char*>(p + 213), "cGFzcw==");

  for (int mode : {1, 3}) {
    ASSERT_EQ(BuildSetNetworkRequest(kTarget, mode, s, buffer, sizeof buffer), 306u);
    EXPECT_EQ(p[128], mode == 1 ? 1 : 0);
    for (int i = 129; i < 277; ++i) ASSERT_EQ(p[i], 0) << "mode " << mode << " byte " << i;
  }
}

TEST(DiscoveryRequest, CommandsSixSevenAndNinePlaceTheirArguments) {
  uint8_t buffer[kMaxRequestSize];
  ASSERT_EQ(BuildTextRequest(kTarget, "abc", buffer, sizeof buffer), 221u);
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer + 29 + 128), "YWJj");
  ASSERT_EQ(BuildByteRequest(kTarget, 0xA5, buffer, sizeof buffer), 158u);
  EXPECT_EQ(buffer[29 + 128], 0xA5);

  const int values[5] = {0x101, 2, 255, -1, 0};
  const std::string longText(40, 'x');
  ASSERT_EQ(BuildCommand9Request(kTarget, longText.c_str(), values, "hi", buffer, sizeof buffer),
            285u);
  const uint8_t* p = buffer + 29;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 128)), std::string(32, 'x'));
  EXPECT_EQ(p[160], 0);
  EXPECT_EQ(std::vector<uint8_t>(p + 161, p + 166), Bytes({1, 2, 255, 255, 0}));
  EXPECT_STREQ(reinterpret_cast<const char*>(p + 166), "aGk=");
}

TEST(DiscoveryRequest, Base64FieldsKeepTheirLimits) {
  uint8_t buffer[kMaxRequestSize];
  const std::string fits(45, 'p'), tooLong(46, 'p');
  RequestTarget target = kTarget;
  target.password = fits.c_str();
  ASSERT_EQ(BuildPlainRequest(5, target, buffer, sizeof buffer), 157u);
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(buffer + 29 + 64)), 60u);
  EXPECT_EQ(buffer[29 + 127], 0);

  target.password = tooLong.c_str();
  ASSERT_EQ(BuildPlainRequest(5, target, buffer, sizeof buffer), 157u);
  for (int i = 64; i < 128; ++i) EXPECT_EQ(buffer[29 + i], 0) << i;
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer + 29), "YWRtaW4=");  // user still sent

  const int values[5] = {};
  const std::string fits90(66, 'q'), tooLong90(67, 'q');
  ASSERT_EQ(BuildCommand9Request(kTarget, "", values, fits90.c_str(), buffer, sizeof buffer), 285u);
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(buffer + 29 + 166)), 88u);
  ASSERT_EQ(BuildCommand9Request(kTarget, "", values, tooLong90.c_str(), buffer, sizeof buffer),
            285u);
  for (int i = 166; i < 256; ++i) EXPECT_EQ(buffer[29 + i], 0) << i;
}

TEST(DiscoveryRequest, TargetTextsThatDoNotParse) {
  uint8_t buffer[kMaxRequestSize];
  const RequestTarget bad{"not an address", "00A1b", "admin", "pw"};
  ASSERT_EQ(BuildPlainRequest(4, bad, buffer, sizeof buffer), 157u);
  EXPECT_EQ(std::vector<uint8_t>(buffer + 13, buffer + 17), Bytes({255, 255, 255, 255}));
  // Two digits per byte; the odd digit and the missing bytes stay zero.
  EXPECT_EQ(std::vector<uint8_t>(buffer + 17, buffer + 23), Bytes({0x00, 0xA1, 0, 0, 0, 0}));
}

TEST(DiscoveryReply, AcceptsOnlyTheExactReply) {
  std::vector<uint8_t> reply = Reply(1, 541);
  EXPECT_TRUE(IsSearchReply(reply.data(), reply.size()));
  for (size_t length : {540u, 542u, 29u}) {
    const std::vector<uint8_t> other = Reply(1, length);
    EXPECT_FALSE(IsSearchReply(other.data(), other.size())) << length;
  }
  std::vector<uint8_t> request = reply;
  request[8] = kDirectionRequest;
  EXPECT_FALSE(IsSearchReply(request.data(), request.size()));
  std::vector<uint8_t> magic = reply;
  magic[3] = 'M';
  EXPECT_FALSE(IsSearchReply(magic.data(), magic.size()));
  std::vector<uint8_t> refused = reply;
  refused[24] = 1;  // status is 16 bits: the high byte counts too
  EXPECT_FALSE(IsSearchReply(refused.data(), refused.size()));
  std::vector<uint8_t> command = reply;
  command[10] = 1;  // command 257
  EXPECT_FALSE(IsSearchReply(command.data(), command.size()));
}

TEST(DiscoveryReply, ResultFromAnotherCameraIsStillTheAnswer) {
  std::vector<uint8_t> reply = Reply(2, 29);
  std::memset(reply.data() + 17, 0x99, 6);
  reply[23] = 1;
  EXPECT_TRUE(IsReplyTo(2, 29, reply.data(), reply.size()));
  EXPECT_EQ(ReplyStatus(reply.data()), 1);
  EXPECT_FALSE(IsReplyTo(3, 29, reply.data(), reply.size()));
  EXPECT_FALSE(IsReplyTo(4, 178, reply.data(), reply.size()));  // a data command wants 178
}

TEST(CameraRecord, FieldsReadFromTheirOffsets) {
  std::vector<uint8_t> reply = Reply(1, 541);
  const uint8_t ip[4] = {192, 168, 1, 20}, mask[4] = {255, 255, 255, 0};
  std::memcpy(reply.data() + 13, ip, 4);
  std::memcpy(reply.data() + 283, mask, 4);
  std::memcpy(reply.data() + 125, "TAVO-C1", 8);
  std::memcpy(reply.data() + 155,
              "K\xC3\xBC"
              "che",
              7);
  reply[299] = 0x50;
  reply[300] = 0x00;
  const uint8_t adapter[8] = {2, 0, 0, 0, 0xA, 1, 0, 0};
  CameraRecord record;
  CompleteCameraRecord(reply.data(), adapter, &record);
  EXPECT_EQ(std::memcmp(&record, reply.data(), 541), 0);
  EXPECT_EQ(std::memcmp(record.adapterAddress, adapter, 8), 0);
  uint32_t expectedIp, expectedMask;
  std::memcpy(&expectedIp, ip, 4);
  std::memcpy(&expectedMask, mask, 4);
  EXPECT_EQ(RecordIpAddress(record), expectedIp);
  EXPECT_EQ(RecordSubnetMask(record), expectedMask);
  EXPECT_EQ(RecordHttpPort(record), 80);
  EXPECT_EQ(RecordModelName(record), "TAVO-C1");
  EXPECT_EQ(RecordCameraName(record),
            "K\xC3\xBC"
            "che");
}

TEST(CameraRecord, UnterminatedTextsStayInsideTheirFields) {
  CameraRecord record;
  std::memset(&record, 'Z', sizeof record);
  std::memset(record.modelName, 'M', sizeof record.modelName);
  std::memset(record.cameraName, 'N', sizeof record.cameraName);
  EXPECT_EQ(RecordModelName(record), std::string(30, 'M'));
  EXPECT_EQ(RecordCameraName(record), std::string(128, 'N'));
  // A heap copy with nothing after it: ASan catches a read past the end.
  auto copy = std::make_unique<CameraRecord>(record);
  EXPECT_EQ(RecordCameraName(*copy).size(), 128u);
}

TEST(MacText, FormatsLowerCaseAndParsesEitherCase) {
  const uint8_t mac[6] = {0x00, 0x1A, 0x2b, 0xC3, 0xd4, 0xFF};
  char text[13];
  FormatMacText(mac, text);
  EXPECT_STREQ(text, "001a2bc3d4ff");
  uint8_t back[6];
  EXPECT_EQ(ParseMacText(text, back), 6);
  EXPECT_EQ(std::memcmp(back, mac, 6), 0);
  EXPECT_EQ(ParseMacText("001A2BC3D4FF", back), 6);
  EXPECT_EQ(std::memcmp(back, mac, 6), 0);
  EXPECT_EQ(ParseMacText("0011zz", back), 2);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 6), Bytes({0x00, 0x11, 0, 0, 0, 0}));
}

}  // namespace
