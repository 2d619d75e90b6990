// The real program on a display server of its own (Xvfb unless a test
// chooses another) inside a virtual LAN that each test builds and
// removes again: one segment "a", and a pc whose adapter qa0 has
// 192.168.1.10/24 with its default route through 192.168.1.1.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "support/ui_session.h"
#include "support/vlan.h"

class LanWizardTest : public ::testing::Test {
 protected:
  static constexpr int kSearchMs = 20000;
  // The wait for a camera that restarts its network, shortened through the
  // automation-only setting: the simulated cameras take their new address
  // within a second. kRealSettingsWait keeps the wizard's own 40 s.
  static constexpr int kShortSettingsWaitMs = 3000;
  static constexpr int kRealSettingsWait = -1;
  // The settings wait, the camera's restart and the search that finds it again, with room.
  static constexpr int kSettingsRoundMs = 75000;

  // The display server the program draws on.
  virtual std::unique_ptr<TestDisplay> MakeDisplay() {
    return std::make_unique<XvfbDisplay>(screen_);
  }

  void SetUp() override {
    display_ = MakeDisplay();
    ASSERT_TRUE(display_->Ok()) << display_->Kind() << " did not start";
    lan_ = std::make_unique<testsupport::VirtualLan>();
    ASSERT_TRUE(lan_->AddSegment("a") &&
                lan_->AddPcAdapter("qa0", "a", "02:00:00:00:0a:01", "192.168.1.10/24") &&
                lan_->SetPcDefaultRoute("192.168.1.1", "qa0"))
        << lan_->Error();
  }
  void TearDown() override {
    session_.reset();
    pc_.reset();
    const std::string prefix = lan_ ? lan_->Prefix() : "";
    lan_.reset();
    if (!prefix.empty()) {
      EXPECT_TRUE(testsupport::VirtualLan::NamespacesWithPrefix(prefix).empty());
    }
    display_.reset();
  }

  // Enters the pc and starts the program of the medium at `root` there, with
  // its settings wait of `settings_wait_ms` and `environment` added to its
  // own (its standard error into `stderr_path`, if given); it shows its main menu.
  UiSession& Launch(const std::string& root, int settings_wait_ms = kShortSettingsWaitMs,
                    UiSession::Environment environment = {}, const std::string& stderr_path = "") {
    // Entered once: a second scope would restore the namespace it was made in.
    if (!pc_) pc_ = lan_->EnterPc();
    EXPECT_TRUE(pc_->ok());
    session_.reset();
    environment.insert(environment.begin(), environment_.begin(), environment_.end());
    if (settings_wait_ms != kRealSettingsWait)
      environment.emplace_back("QUENLO_SETTINGS_WAIT_MS", std::to_string(settings_wait_ms));
    session_ = std::make_unique<UiSession>(root, *display_, environment, stderr_path);
    EXPECT_TRUE(session_->Connected());
    EXPECT_TRUE(session_->WaitForPage("Main.html")) << session_->PageName();
    return *session_;
  }
  UiSession& ui() { return *session_; }

  nlohmann::json Eval(const std::string& js) {
    return ui().Request({{"cmd", "eval"}, {"js", js}})["result"];
  }
  std::string Text(const std::string& id) {
    const nlohmann::json value = Eval("document.getElementById('" + id + "').textContent");
    return value.is_string() ? value.get<std::string>() : "";
  }
  void Do(const nlohmann::json& request) {
    ASSERT_EQ(ui().Request(request)["ok"], true) << request.dump();
  }
  // From the main menu to the search page, the search started.
  void StartSearch() {
    ASSERT_TRUE(ui().ClickTo("main_btn_install_camera", "Mac.html"));
    ASSERT_TRUE(ui().ClickTo("mac_next", "Power.html"));
    ASSERT_TRUE(ui().ClickTo("power_next", "Ethernet.html"));
    ASSERT_TRUE(ui().ClickTo("ethernet_next", "WaitSearch.html"));
  }
  // From the main menu through the search to the list page.
  void SearchToList() {
    ASSERT_NO_FATAL_FAILURE(StartSearch());
    ASSERT_TRUE(ui().WaitForPage("List.html", kSearchMs)) << ui().PageName();
  }

  // Chosen by a fixture's constructor: the display's size, and what the
  // program gets in its environment.
  std::string screen_ = XvfbDisplay::kDefaultScreen;
  UiSession::Environment environment_;
  std::unique_ptr<TestDisplay> display_;
  std::unique_ptr<testsupport::VirtualLan> lan_;
  std::unique_ptr<testsupport::VirtualLan::PcScope> pc_;
  std::unique_ptr<UiSession> session_;
};
