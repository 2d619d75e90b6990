// The camera command interface against the camera simulator on loopback.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "media/media_header.h"
#include "net/tavo_cgi.h"
#include "support/camsim_process.h"

namespace {

using testsupport::CamsimProcess;

class CamsimCGI : public testing::Test {
 protected:
  void Start(const std::vector<std::string>& args = {}) {
    sim_ = std::make_unique<CamsimProcess>(args);
    ASSERT_TRUE(sim_->ok()) << sim_->error();
  }
  // A command or stream object pointed at the simulator with `password`.
  std::unique_ptr<NTavoCGI> Camera(const char* password, bool pool = false) {
    auto cgi = std::make_unique<NTavoCGI>(pool);
    cgi->http().SetServer("127.0.0.1", sim_->port(), "admin", password);
    return cgi;
  }
  std::unique_ptr<CamsimProcess> sim_;
};

uint32_t Word(const NTavoMediaSample& s, int offset) {
  return media_header::ReadWord(s.GetHeader(), offset);
}

bool LooksLikeJpeg(const NTavoMediaSample& s) {
  const uint8_t* p = s.GetPayload();
  const int n = s.GetPayloadLength();
  return n > 4 && p[0] == 0xFF && p[1] == 0xD8 && p[n - 2] == 0xFF && p[n - 1] == 0xD9;
}

TEST_F(CamsimCGI, PasswordIsProvenAndChanged) {
  Start({"--password", "Old1"});
  EXPECT_STREQ(Camera("Old1")->QueryIPAddress(), "Network.IPAddress=127.0.0.1\r\n");
  EXPECT_EQ(Camera("wrong")->QueryIPAddress(), nullptr);
  EXPECT_EQ(Camera("Old1")->UpdateAdminPassword("has-dash"), nullptr);
  EXPECT_EQ(Camera("Old1")->UpdateAdminPassword(std::string(33, 'a').c_str()), nullptr);
  EXPECT_EQ(Camera("Old1")->UpdateAdminPassword(nullptr), nullptr);
  ASSERT_NE(Camera("Old1")->UpdateAdminPassword("New2"), nullptr);
  EXPECT_EQ(Camera("Old1")->QueryIPAddress(), nullptr);
  EXPECT_NE(Camera("New2")->QueryIPAddress(), nullptr);
}

TEST_F(CamsimCGI, PictureStreamDeliversDistinctJpegFrames) {
  Start({"--fps", "30", "--size", "320x240"});
  auto cgi = Camera("kerut", true);
  EXPECT_FALSE(Camera("wrong", true)->OpenVideoStream());
  ASSERT_TRUE(cgi->OpenVideoStream());
  EXPECT_STREQ(cgi->boundary(), "quenloframe");
  std::set<uint32_t> frames;
  std::string previous;
  for (int i = 0; i < 4; ++i) {
    std::unique_ptr<NTavoMediaSample> s;
    ASSERT_GT(cgi->ReadStreamFrame(&s), 0);
    EXPECT_TRUE(LooksLikeJpeg(*s));
    EXPECT_EQ(Word(*s, media_header::kPayloadLengthOffset), uint32_t(s->GetPayloadLength()));
    EXPECT_EQ(Word(*s, media_header::kPartCountOffset), uint32_t(i + 1));
    frames.insert(Word(*s, media_header::kFrameNumberOffset));
    const std::string payload(reinterpret_cast<const char*>(s->GetPayload()),
                              s->GetPayloadLength());
    EXPECT_NE(payload, previous);
    previous = payload;
  }
  EXPECT_EQ(frames.size(), 4u);
}

TEST_F(CamsimCGI, SoundStreamAnnouncesItsFormat) {
  struct Case {
    std::vector<std::string> args;
    uint32_t format;
    int payload;
  } cases[] = {
      {{}, 0x203, 160},  // mu-law, 8000 Hz, one channel, 8 bits: 20 ms
      {{"--audio", "pcm16", "--audio-rate", "48000"}, 0x2 | 0x10 | (4 << 6) | (1 << 9), 1920},
  };
  for (const Case& c : cases) {
    Start(c.args);
    auto cgi = Camera("kerut", true);
    ASSERT_TRUE(cgi->OpenAudioStream());
    for (uint32_t packet = 0; packet < 3; ++packet) {
      std::unique_ptr<NTavoMediaSample> s;
      ASSERT_GT(cgi->ReadStreamFrame(&s), 0);
      EXPECT_EQ(Word(*s, media_header::kFormatWordOffset), c.format);
      EXPECT_EQ(s->GetPayloadLength(), c.payload);
      EXPECT_EQ(Word(*s, media_header::kFrameNumberOffset), packet);
    }
  }
}

// G.711 mu-law code to a linear sample.
int UlawToLinear(uint8_t code) {
  code = static_cast<uint8_t>(~code);
  const int magnitude = ((((code & 0x0F) << 3) + 0x84) << ((code >> 4) & 7)) - 0x84;
  return code & 0x80 ? -magnitude : magnitude;
}

TEST_F(CamsimCGI, SoundIsAContinuousTone) {
  Start({"--tone", "440"});
  auto cgi = Camera("kerut", true);
  ASSERT_TRUE(cgi->OpenAudioStream());
  std::vector<int> samples;
  for (int packet = 0; packet < 5; ++packet) {
    std::unique_ptr<NTavoMediaSample> s;
    ASSERT_GT(cgi->ReadStreamFrame(&s), 0);
    for (int i = 0; i < s->GetPayloadLength(); ++i)
      samples.push_back(UlawToLinear(s->GetPayload()[i]));
  }
  int crossings = 0, peak = 0;
  for (size_t i = 1; i < samples.size(); ++i) {
    crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    peak = std::max(peak, std::abs(samples[i]));
  }
  // 100 ms of 440 Hz cross zero 88 times, across packet edges too.
  EXPECT_NEAR(crossings, 88, 3);
  EXPECT_GT(peak, 8000);
}

// Each fault hits part 2; the reader must survive it and not deliver it whole.
TEST_F(CamsimCGI, ReaderRecoversFromDamagedParts) {
  for (const char* fault : {"wrong-length", "garbage-part"}) {
    Start({"--fps", "30", "--size", "160x120", "--fault", fault});
    auto cgi = Camera("kerut", true);
    ASSERT_TRUE(cgi->OpenVideoStream());
    int whole_after_fault = 0;
    for (int i = 0; i < 12 && whole_after_fault < 2; ++i) {
      std::unique_ptr<NTavoMediaSample> s;
      if (cgi->ReadStreamFrame(&s) > 0 && LooksLikeJpeg(*s) &&
          Word(*s, media_header::kPartCountOffset) > 3)
        ++whole_after_fault;
    }
    EXPECT_EQ(whole_after_fault, 2) << fault;
  }
}

TEST_F(CamsimCGI, ConnectionClosedMidPartEndsTheStream) {
  Start({"--fps", "30", "--size", "160x120", "--fault", "close-mid-part"});
  auto cgi = Camera("kerut", true);
  ASSERT_TRUE(cgi->OpenVideoStream());
  std::unique_ptr<NTavoMediaSample> s;
  EXPECT_GT(cgi->ReadStreamFrame(&s), 0);
  EXPECT_GT(cgi->ReadStreamFrame(&s), 0);
  EXPECT_EQ(cgi->ReadStreamFrame(&s), 0);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(cgi->ReadStreamFrame(&s), 0);
}

TEST_F(CamsimCGI, LowerCaseLengthIsNoLength) {
  Start({"--fault", "lowercase-length"});
  EXPECT_STREQ(Camera("kerut")->QueryIPAddress(), "");
  auto cgi = Camera("kerut", true);
  ASSERT_TRUE(cgi->OpenVideoStream());
  std::unique_ptr<NTavoMediaSample> s;
  EXPECT_EQ(cgi->ReadStreamFrame(&s), -1);
}

TEST_F(CamsimCGI, SilentCameraTimesOutAfterFiveSeconds) {
  Start({"--fault", "stall-header"});
  auto cgi = Camera("kerut", true);
  EXPECT_FALSE(cgi->OpenVideoStream());
  EXPECT_EQ(cgi->http().last_error(), EAGAIN);
  EXPECT_STREQ(cgi->http().last_error_text(), "Resource temporarily unavailable");
}

// Hostile replies under a short deadline: a camera that drips its reply,
// each byte well within the receive time-out, or says nothing, holds no
// command past the deadline; a sound one answers within it. Dripped whole,
// each reply would take several times the deadline.
TEST_F(CamsimCGI, CommandEndsByItsDeadlineWhateverTheReply) {
  constexpr int kDeadlineMs = 2000;
  const struct {
    const char* fault;
    bool answered;
  } cases[] = {
      {"none", true},
      {"stall-header", false},
      {"slow-drip-header", false},
      {"slow-drip-body", false},
  };
  for (const auto& c : cases) {
    Start({"--fault", c.fault, "--drip-ms", "200"});
    auto cgi = Camera("kerut");
    cgi->http().SetCommandDeadline(kDeadlineMs);
    auto query = std::async(std::launch::async, [&] { return cgi->QueryIPAddress() != nullptr; });
    ASSERT_EQ(query.wait_for(std::chrono::milliseconds(10 * kDeadlineMs)),
              std::future_status::ready)
        << c.fault << ": the command hung";
    EXPECT_EQ(query.get(), c.answered) << c.fault;
    EXPECT_EQ(cgi->http().last_error(), c.answered ? 0 : ETIMEDOUT) << c.fault;
  }
}

// The deadline bounds the opening of a stream, not the stream.
TEST_F(CamsimCGI, StreamOutlastsTheRequestDeadline) {
  Start({"--fps", "10", "--size", "160x120"});
  auto cgi = Camera("kerut", true);
  cgi->http().SetCommandDeadline(200);
  ASSERT_TRUE(cgi->OpenVideoStream());
  for (int i = 0; i < 5; ++i) {  // the fifth part leaves the camera 400 ms after the first
    std::unique_ptr<NTavoMediaSample> s;
    ASSERT_GT(cgi->ReadStreamFrame(&s), 0) << i;
  }
}

TEST_F(CamsimCGI, SimulatorStopsCleanlyOnSigterm) {
  Start();
  auto cgi = Camera("kerut", true);
  ASSERT_TRUE(cgi->OpenAudioStream());  // an open stream must not hold the shut-down
  const int status = sim_->Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// An address option is four decimal numbers and nothing else; any other
// text ends the simulator with a usage error that shows the form.
TEST(CamsimOptions, AddressesAreFourDecimalNumbers) {
  const std::pair<const char*, const char*> cases[] = {
      {"--listen", "127.0.0.01"},
      {"--listen", "127.1"},
      {"--gateway", "10.20.0.1 "},
      {"--dhcp-gateway", "0x0a.0.0.1"},
      {"--address", "10.020.30.40/16"},
      {"--address", "10.20.30.40/016"},
      {"--address", "10.20.30.40/33"},
      {"--dhcp-lease", "192.168.1.21/ 24"},
      {"--dhcp-lease", "192.168.1.21 x/24"},
  };
  for (const auto& [option, value] : cases) {
    // Should a value be taken, the simulator would run: the time limit ends it.
    const std::string command = "timeout 20 " + CamsimProcess::BinaryPath() + " --port 0 " +
                                option + " '" + value + "' 2>&1";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string said;
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof chunk, out)) said.append(chunk, n);
    const int status = pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << option << " " << value;
    EXPECT_NE(said.find(std::string("bad value for ") + option + ": " + value + " ("),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("four decimal numbers from 0 to 255"), std::string::npos) << said;
  }
}

}  // namespace
