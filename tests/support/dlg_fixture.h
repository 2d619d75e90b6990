// The dialog under test with fake page host, window services and a scripted
// finder, and the INI texts and camera records the dialog tests share.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

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

class QuenloDlgTest : public ::testing::Test {
 protected:
  // The scripted finder must not outlive the window services it reports to.
  void TearDown() override { dlg.reset(); }

 protected:
  void Start(const std::string& config = kConfig, const std::string& messages = kMessages) {
    if (!config.empty()) medium.WriteHtmlFile("Config.ini", config);
    if (!messages.empty()) medium.WriteHtmlFile("Message.ini", messages);
    dlg = std::make_unique<ScriptedDlg>(window.Services(&pages), medium.ExePath());
    pages.SetEvents(dlg.get());
    ASSERT_TRUE(dlg->OnInitDialog());
  }
  std::string Page(const std::string& name) const { return medium.HtmlFolder() + name; }
  // Clicks and lets the new page complete.
  void ClickAndLoad(const std::string& id) {
    pages.Click(id);
    pages.Complete();
  }

  MediumDir medium;
  FakePageHost pages;
  FakeDialogWindow window;
  std::unique_ptr<ScriptedDlg> dlg;
};

}  // namespace dlgtest
