// The dialog under test with fake page host, window services and a scripted
// finder, and the INI texts and camera records the dialog tests share.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/quenlo_dlg.h"
#include "support/fake_page_host.h"
#include "support/medium_dir.h"
#include "support/scripted_finder.h"

namespace dlgtest {

inline const char kConfig[] =
    "[System]\nModel=TAVO-C1\nTitle=Setup A\nTitle2=Setup B\nWindowWidth=800\n"
    "WindowHeight=600\nMenu=1\n[Default_Password]\nDefault=fromini\n"
    "[Menu]\nIPSetup=bin/ipsetup.sh\nVigilonPro=\nManual=Doc/Manual.html\nQIG=Doc/QIG.html\n"
    "ProDuctReg=https://www.quenlo.example/register\n";

inline const char kMessages[] =
    "[Message]\nmsg_pw_incorrect=m0\nmsg_pw_not_match=m1\nmsg_pw_format_error=m2\n"
    "msg_change_pwd_fail=m3\nmsg_ip_incorrect=m4\nmsg_mask_incorrect=m5\n"
    "msg_gateway_incorrect=m6\nmsg_set_dhcp_fail=m7\nmsg_set_fixed_ip_fail=m8\n"
    "msg_rediscovery_fail=m9\n";  // msg_not_in_same_subnet is missing

inline CameraRecord Camera(const char* model, std::array<uint8_t, 6> mac, const char* ip,
                           uint16_t port) {
  CameraRecord record{};
  std::memcpy(record.modelName, model, std::strlen(model));
  std::memcpy(record.header.macAddress, mac.data(), 6);
  uint32_t address = inet_addr(ip);
  std::memcpy(record.header.ipAddress, &address, 4);
  record.httpPort[0] = static_cast<uint8_t>(port & 0xFF);
  record.httpPort[1] = static_cast<uint8_t>(port >> 8);
  return record;
}

inline const char kMessagesAll[] =
    "[Message]\nmsg_pw_incorrect=m0\nmsg_pw_not_match=m1\nmsg_pw_format_error=m2\n"
    "msg_change_pwd_fail=m3\nmsg_ip_incorrect=m4\nmsg_mask_incorrect=m5\n"
    "msg_gateway_incorrect=m6\nmsg_set_dhcp_fail=m7\nmsg_set_fixed_ip_fail=m8\n"
    "msg_rediscovery_fail=m9\nmsg_not_in_same_subnet=m10\n";

inline constexpr uint8_t kAdapterMac = 0x11;

class QuenloDlgTest : public ::testing::Test {
 protected:
  // The scripted finder must not outlive the window services it reports to.
  void TearDown() override { dlg.reset(); }

  void Start(const std::string& config = kConfig, const std::string& messages = kMessages) {
    if (!config.empty()) medium.WriteHtmlFile("Config.ini", config);
    if (!messages.empty()) medium.WriteHtmlFile("Message.ini", messages);
    dlg = std::make_unique<ScriptedDlg>(window.Services(&pages), medium.ExePath());
    pages.SetEvents(dlg.get());
    window.timer_handler = [this](int id) { dlg->OnTimer(id); };
    ASSERT_TRUE(dlg->OnInitDialog());
  }
  std::string Page(const std::string& name) const { return medium.HtmlFolder() + name; }
  // Clicks and lets the new page complete.
  void ClickAndLoad(const std::string& id) {
    pages.Click(id);
    pages.Complete();
  }

  // ---- The installation's steps, with a scripted finder ----

  // The pc: one Ethernet adapter on 192.168.1.0/24 and loopback's subnet for
  // the simulator's HTTP side.
  void StartWizard() {
    Start(kConfig, kMessagesAll);
    finder().adapters().Set(
        {FakeAdapterSource::Entry("eth0", kAdapterMac, kAdapterTypeEthernet, "192.168.1.10",
                                  "255.255.255.0", "192.168.1.1"),
         FakeAdapterSource::Entry("eth1", 0x12, kAdapterTypeEthernet, "127.0.0.10", "255.0.0.0")});
  }
  ScriptedFinder& finder() { return *dlg->finder; }

  static CameraRecord Found(const char* model, uint8_t last_mac, const char* ip, uint16_t port = 80,
                            uint8_t adapter = kAdapterMac) {
    CameraRecord record = Camera(model, {0x00, 0x1a, 0x2b, 0x3c, 0x4d, last_mac}, ip, port);
    record.adapterAddress[0] = 0x02;
    record.adapterAddress[5] = adapter;
    // The camera's own mask: /8 on loopback, /16 on 10.x, /24 elsewhere.
    const uint32_t mask =
        inet_addr(ip[0] == '1' && ip[1] == '2' && ip[2] == '7'   ? "255.0.0.0"
                  : ip[0] == '1' && ip[1] == '0' && ip[2] == '.' ? "255.255.0.0"
                                                                 : "255.255.255.0");
    std::memcpy(record.subnetMask, &mask, 4);
    return record;
  }
  // Search requests get these cameras' replies, each through its adapter.
  void ScriptSearch(const std::vector<CameraRecord>& records) {
    std::vector<FakeDiscoveryTransport::Datagram> replies;
    for (const CameraRecord& r : records) replies.push_back(FakeDiscoveryTransport::SearchReply(r));
    finder().transport().SetReplies(kCommandSearch, std::move(replies));
  }
  // Set-address requests get no answer (-1), or one accepting (1) or
  // refusing (0) the settings.
  void ScriptSettingsReply(int result) {
    std::vector<FakeDiscoveryTransport::Datagram> replies;
    if (result >= 0)
      replies.push_back(FakeDiscoveryTransport::ResultReply(kCommandSetAddress, result ? 0 : 1));
    finder().transport().SetReplies(kCommandSetAddress, std::move(replies));
  }
  // Lets the jobs end and runs what they hand to the UI thread, as the UI
  // thread would, until no job is pending. A held job must be released first.
  void Settle() {
    window.RunPosted();
    while (dlg->JobPending()) {
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
      while (!window.HasPosted()) {
        ASSERT_LT(std::chrono::steady_clock::now(), give_up) << "hung: a job never ended";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      window.RunPosted();
    }
  }
  // The pending timer `id` runs out.
  void Fire(int id) { ASSERT_TRUE(window.FireTimer(id)) << "no timer " << id; }
  // From Ethernet.html through the search to the page it ends on.
  void Search() {
    pages.Click("ethernet_next");
    EXPECT_EQ(pages.LastPage(), Page("WaitSearch.html"));
    Settle();
  }
  void ChooseRow(int row, size_t rows) {
    pages.Complete();
    for (size_t i = 1; i <= rows; ++i)
      pages.AddElement("list_radio" + std::to_string(i), "checked", static_cast<int>(i) == row);
    pages.Click("list_next");
  }
  void FillPassword(const std::string& current, bool change, const std::string& next = "",
                    const std::string& confirm = "") {
    pages.AddElement("id_pw_password", "value", current);
    pages.AddElement("id_pw_change_pw", "checked", change);
    pages.AddElement("id_pw_new_pw", "value", next);
    pages.AddElement("id_pw_cf_new_pw", "value", confirm);
  }
  void FillFixed(const std::string& ip, const std::string& mask, const std::string& gw) {
    pages.AddElement("fixedip_ip", "value", ip);
    pages.AddElement("fixedip_mask", "value", mask);
    pages.AddElement("fixedip_gw", "value", gw);
  }
  std::vector<std::string> BoxTexts() {
    std::lock_guard<std::mutex> lock(window.mutex);
    std::vector<std::string> texts;
    for (const auto& box : window.boxes) texts.push_back(box.second);
    return texts;
  }
  // A camera chosen on another subnet.
  void ChooseOtherSubnetCamera() {
    StartWizard();
    ScriptSearch({Found("TAVO-C1", 0x01, "10.20.30.40")});
    Search();
    ChooseRow(1, 1);
    ASSERT_EQ(pages.LastPage(), Page("Network.html"));
  }
  // That camera told to use DHCP, with the current password and, when
  // `change`, a new one; it accepts, and the setup page shows while the
  // camera's 40 seconds run.
  void AcceptedByDhcp(const std::string& current, bool change, const std::string& next = "") {
    ChooseOtherSubnetCamera();
    pages.AddElement("network_dhcp", "checked", true);
    pages.Click("network_next");
    ScriptSettingsReply(1);
    FillPassword(current, change, next, next);
    pages.Click("id_pw_next");
    Settle();
    ASSERT_EQ(pages.LastPage(), Page("Setup.html"));
  }
  // The settings wait and the pause before the search run out, and the
  // re-discovery's search ends.
  void Rediscover() {
    Fire(CQuenloDlg::TIMER_SETTINGS_WAIT);
    Fire(CQuenloDlg::TIMER_REDISCOVER);
    Settle();
  }

  MediumDir medium;
  FakePageHost pages;
  FakeDialogWindow window;
  std::unique_ptr<ScriptedDlg> dlg;
};

}  // namespace dlgtest
