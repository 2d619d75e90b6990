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
#include "support/lan_wizard.h"
#include "support/user_launcher.h"

namespace {

using nlohmann::json;

class PackageE2E : public LanWizardTest {
 protected:
  void SetUp() override {
    const char* unpacked = std::getenv("QUENLO_UNPACKED_PACKAGE");
    if (!unpacked || !*unpacked)
      GTEST_SKIP() << "QUENLO_UNPACKED_PACKAGE names no unpacked package";
    unpacked_ = std::filesystem::absolute(unpacked).string();
    medium_ = unpacked_ + "/usr/lib/quenlo-setup/";
    ASSERT_NO_FATAL_FAILURE(LanWizardTest::SetUp());
    launcher_ = std::make_unique<UserLauncher>("nobody", unpacked_ + "/usr/bin/quenlo-setup");
    ASSERT_TRUE(launcher_->Ok());
  }
  // Starts the packaged wizard as nobody inside the pc; it shows its main menu.
  UiSession& Launch() { return LanWizardTest::Launch(launcher_->Root()); }

  std::string unpacked_;
  std::string medium_;
  std::unique_ptr<UserLauncher> launcher_;
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
  EXPECT_NE(Text("camera_list").find("Front door"), std::string::npos) << Text("camera_list");
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
  EXPECT_NE(Text("camera_list").find("On another network"), std::string::npos) << Text("camera_list");
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
