// The Debian package as a person gets it: unpacked (dpkg -x) into the folder
// that QUENLO_UNPACKED_PACKAGE names, its launcher usr/bin/quenlo-setup
// started as the unprivileged user "nobody" under Xvfb, inside a virtual LAN
// of simulated cameras that each test builds and removes. Skipped without
// that variable; scripts/package-check.sh unpacks the package and sets it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "net/tavo_cgi.h"
#include "support/ui_session.h"
#include "support/user_launcher.h"
#include "support/vlan.h"

namespace {

using nlohmann::json;
using testsupport::VirtualLan;

constexpr int kSearchMs = 20000;
// The 40-second wait, the camera's restart and the search that finds it again, with room.
constexpr int kSettingsRoundMs = 75000;

class PackageE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* unpacked = std::getenv("QUENLO_UNPACKED_PACKAGE");
    if (!unpacked || !*unpacked)
      GTEST_SKIP() << "QUENLO_UNPACKED_PACKAGE names no unpacked package";
    unpacked_ = std::filesystem::absolute(unpacked).string();
    medium_ = unpacked_ + "/usr/lib/quenlo-setup/";
    display_ = std::make_unique<XvfbDisplay>();
    ASSERT_TRUE(display_->Ok()) << "Xvfb did not start";
    lan_ = std::make_unique<VirtualLan>();
    ASSERT_TRUE(lan_->AddSegment("a") &&
                lan_->AddPcAdapter("qa0", "a", "02:00:00:00:0a:01", "192.168.1.10/24") &&
                lan_->SetPcDefaultRoute("192.168.1.1", "qa0"))
        << lan_->Error();
    launcher_ = std::make_unique<UserLauncher>("nobody", unpacked_ + "/usr/bin/quenlo-setup");
    ASSERT_TRUE(launcher_->Ok());
  }
  void TearDown() override {
    session_.reset();
    pc_.reset();
    const std::string prefix = lan_ ? lan_->Prefix() : "";
    lan_.reset();
    if (!prefix.empty()) {
      EXPECT_TRUE(VirtualLan::NamespacesWithPrefix(prefix).empty());
    }
    display_.reset();
  }

  // Starts the packaged wizard as nobody inside the pc; it shows its main menu.
  UiSession& Launch() {
    pc_ = lan_->EnterPc();
    EXPECT_TRUE(pc_->ok());
    session_ = std::make_unique<UiSession>(launcher_->Root(), display_->Name());
    EXPECT_TRUE(session_->Connected());
    EXPECT_TRUE(session_->WaitForPage("Main.html")) << session_->PageName();
    return *session_;
  }
  UiSession& ui() { return *session_; }
  json Eval(const std::string& js) { return ui().Request({{"cmd", "eval"}, {"js", js}})["result"]; }
  void Do(const json& request) { ASSERT_EQ(ui().Request(request)["ok"], true) << request.dump(); }

  void SearchToList() {
    ASSERT_TRUE(ui().ClickTo("main_btn_install_camera", "Mac.html"));
    ASSERT_TRUE(ui().ClickTo("mac_next", "Power.html"));
    ASSERT_TRUE(ui().ClickTo("power_next", "Ethernet.html"));
    ASSERT_TRUE(ui().ClickTo("ethernet_next", "WaitSearch.html"));
    ASSERT_TRUE(ui().WaitForPage("List.html", kSearchMs)) << ui().PageName();
  }
  std::string CameraList() {
    const json text = Eval("document.getElementById('camera_list').textContent");
    return text.is_string() ? text.get<std::string>() : "";
  }

  std::string unpacked_;
  std::string medium_;
  std::unique_ptr<XvfbDisplay> display_;
  std::unique_ptr<VirtualLan> lan_;
  std::unique_ptr<VirtualLan::PcScope> pc_;
  std::unique_ptr<UserLauncher> launcher_;
  std::unique_ptr<UiSession> session_;
};

TEST_F(PackageE2E, StartsAsNobodyFromThePackageAndFindsACamera) {
  ASSERT_TRUE(lan_->AddCamera("same", "a", "192.168.1.20/24",
                              {"--mac", "00:1a:2b:00:00:01", "--name", "Front door"}))
      << lan_->Error();
  Launch();
  // The program that made the socket runs as nobody, and the launcher led
  // it to the pages of the package's medium.
  struct stat socket_info {};
  ASSERT_EQ(::stat(ui().SocketPath().c_str(), &socket_info), 0);
  EXPECT_EQ(static_cast<long>(socket_info.st_uid), launcher_->Uid());
  EXPECT_EQ(ui().Request({{"cmd", "page"}})["page"], medium_ + "HTML/Main.html");
  for (const char* id : {"main_btn_ipsetup", "main_btn_manual", "main_btn_qig"}) {
    Do({{"cmd", "click"}, {"id", id}});
  }
  json launched;
  for (int i = 0; i < 100 && launched.size() < 3; ++i) {
    launched = ui().Request({{"cmd", "launched"}})["targets"];
    if (launched.size() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(launched, json({medium_ + "bin/ip-setup", medium_ + "Doc/Manual.html",
                            medium_ + "Doc/QIG.html"}));
  // Anyone may run the address tool.
  const auto tool = std::filesystem::status(medium_ + "bin/ip-setup").permissions();
  EXPECT_NE(tool & std::filesystem::perms::others_exec, std::filesystem::perms::none);
  ASSERT_NO_FATAL_FAILURE(SearchToList());
  EXPECT_EQ(Eval("document.querySelectorAll('#camera_list input').length"), 1);
  EXPECT_NE(CameraList().find("Front door"), std::string::npos) << CameraList();
}

// The most a search asks of the network: a camera on another subnet told by
// broadcast to take an address by DHCP, found again after its restart, then
// reached over HTTP for its new password and its live picture.
TEST_F(PackageE2E, InstallsACameraOnAnotherSubnetAsNobody) {
  ASSERT_TRUE(lan_->AddCamera(
      "other", "a", "10.20.30.40/16",
      {"--mac", "00:1a:2b:00:00:02", "--name", "Garden", "--gateway", "10.20.0.1", "--set-delay-ms",
       "500", "--dhcp-lease", "192.168.1.21/24", "--dhcp-gateway", "192.168.1.1"}))
      << lan_->Error();
  Launch();
  ASSERT_NO_FATAL_FAILURE(SearchToList());
  EXPECT_NE(CameraList().find("On another network"), std::string::npos) << CameraList();
  ASSERT_NO_FATAL_FAILURE(Do({{"cmd", "check"},
                              {"id", Eval("document.querySelector('#camera_list input').id")},
                              {"checked", true}}));
  ASSERT_TRUE(ui().ClickTo("list_next", "Network.html"));
  Do({{"cmd", "check"}, {"id", "network_dhcp"}, {"checked", true}});
  ASSERT_TRUE(ui().ClickTo("network_next", "IDPassword.html"));
  Do({{"cmd", "set"}, {"id", "id_pw_password"}, {"value", "kerut"}});
  Do({{"cmd", "check"}, {"id", "id_pw_change_pw"}, {"checked", true}});
  Do({{"cmd", "set"}, {"id", "id_pw_new_pw"}, {"value", "NewPass99"}});
  Do({{"cmd", "set"}, {"id", "id_pw_cf_new_pw"}, {"value", "NewPass99"}});
  Do({{"cmd", "click"}, {"id", "id_pw_next"}});
  ASSERT_TRUE(ui().WaitForPage("Setup.html", 20000)) << ui().PageName();
  ASSERT_TRUE(ui().WaitForPage("Finish.html", kSettingsRoundMs)) << ui().PageName();
  EXPECT_TRUE(ui().WaitForScript(
      "document.getElementById('finish_url').textContent === 'http://192.168.1.21/'"));
  EXPECT_TRUE(ui().WaitForScript(
      "document.getElementById('finish_live_status').textContent === 'Live picture'"));
  NTavoCGI cgi(false);
  cgi.http().SetServer("192.168.1.21", 80, "admin", "NewPass99");
  EXPECT_NE(cgi.QueryIPAddress(), nullptr);
}

}  // namespace
