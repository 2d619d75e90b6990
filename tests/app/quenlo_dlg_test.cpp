#include "app/quenlo_dlg.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/dlg_fixture.h"

namespace {

using dlgtest::Camera;
using dlgtest::kConfig;
using dlgtest::kMessages;
using QuenloDlgTest = dlgtest::QuenloDlgTest;

TEST_F(QuenloDlgTest, StartUpReadsConfigurationAndShowsMainMenu) {
  Start();
  EXPECT_EQ(pages.navigations, std::vector<std::string>{Page("Main.html")});
  EXPECT_EQ(window.title, "Setup A");
  EXPECT_EQ(window.width, 800);
  EXPECT_EQ(window.height, 600);
  EXPECT_EQ(window.about_item, "&About Quenlo...");
  EXPECT_FALSE(window.live_visible);
  EXPECT_EQ(dlg->m_htmlFolder, medium.HtmlFolder());
  EXPECT_EQ(dlg->m_model, "TAVO-C1");
  EXPECT_EQ(dlg->m_password, "fromini");
  EXPECT_EQ(dlg->m_showMenu, 1);
  EXPECT_EQ(dlg->m_selectedIndex.load(), -1);
  EXPECT_EQ(dlg->m_noReply.load(), 1);
  EXPECT_EQ(dlg->m_messages[0], "m0");
  EXPECT_EQ(dlg->m_messages[9], "m9");
  EXPECT_EQ(dlg->m_messages[10], "");  // missing key: empty text
}

// A web address opens as it is; a file target is taken from the medium's
// folder and opens only while it stays inside the medium. The registration
// slot, once left as it was written, follows the same rules as the others.
TEST_F(QuenloDlgTest, MenuTargetsOpenOnlyWebAddressesAndFilesOfTheMedium) {
  const std::string root = std::filesystem::canonical(medium.Root()).string() + "/";
  std::filesystem::create_directories(root + "Doc");
  std::filesystem::create_symlink("/etc", root + "Doc/system");
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"Doc/Register.html", {root + "Doc/Register.html"}},
      {"HTTPS://quenlo.example/r", {"HTTPS://quenlo.example/r"}},
      {"bin/../../outside.sh", {}},
      {"Doc/system/passwd", {}},  // a symlink leading out
      {"/usr/bin/xterm", {}},
      {"file://" + root + "Doc/Register.html", {}},
      {"javascript:alert(1)", {}},
  };
  for (const auto& [target, opened] : cases) {
    std::string config = kConfig;
    const size_t line = config.find("ProDuctReg=");
    config.replace(line, config.find('\n', line) - line, "ProDuctReg=" + target);
    Start(config);
    window.opened.clear();
    pages.Click("main_btn_product_reg");
    EXPECT_EQ(window.opened, opened) << target;
  }
}

TEST_F(QuenloDlgTest, MenuZeroStartsOnMacWithTitle2AndHidesHomeEveryLoad) {
  std::string config = kConfig;
  config.replace(config.find("Menu=1"), 6, "Menu=0");
  Start(config);
  EXPECT_EQ(pages.LastPage(), Page("Mac.html"));
  EXPECT_EQ(window.title, "Setup B");
  EXPECT_EQ(dlg->m_title, "Setup B");
  pages.Complete();
  ClickAndLoad("mac_next");
  ClickAndLoad("power_back");
  EXPECT_EQ(pages.ScriptCount("HideHomeAndBackButton"), 2);
  ClickAndLoad("mac_back");  // no menu: back stays on Mac
  EXPECT_EQ(pages.LastPage(), Page("Mac.html"));
  EXPECT_EQ(pages.ScriptCount("HideHomeAndBackButton"), 3);
}

TEST_F(QuenloDlgTest, MenuAboveZeroNeverHidesHomeButton) {
  std::string config = kConfig;
  config.replace(config.find("Menu=1"), 6, "Menu=2");
  Start(config);
  EXPECT_EQ(pages.LastPage(), Page("Main.html"));
  ClickAndLoad("main_btn_install_camera");
  EXPECT_EQ(pages.ScriptCount("HideHomeAndBackButton"), 0);
  // A negative switch starts on Mac but keeps the first title.
  config.replace(config.find("Menu=2"), 6, "Menu=-1");
  pages.navigations.clear();
  Start(config);
  EXPECT_EQ(pages.LastPage(), Page("Mac.html"));
  EXPECT_EQ(window.title, "Setup A");
  pages.Complete();
  EXPECT_EQ(pages.ScriptCount("HideHomeAndBackButton"), 0);
}

TEST_F(QuenloDlgTest, MissingConfigurationStartsOnMacWithEmptyTexts) {
  Start("", "");
  EXPECT_EQ(pages.LastPage(), Page("Mac.html"));
  EXPECT_EQ(window.title, "");
  EXPECT_EQ(window.width, 0);
  EXPECT_EQ(window.height, 0);
  EXPECT_EQ(dlg->m_password, "");  // the empty default replaces "kerut"
  EXPECT_EQ(dlg->m_model, "");
}

TEST_F(QuenloDlgTest, PlainPageMovesForwardAndBack) {
  Start();
  const std::pair<const char*, const char*> steps[] = {
      {"main_btn_install_camera", "Mac.html"},
      {"mac_next", "Power.html"},
      {"power_next", "Ethernet.html"},
      {"ethernet_next", "WaitSearch.html"},
      {"not_found_back", "Ethernet.html"},
      {"not_found_retry", "WaitSearch.html"},
      {"list_back", "Ethernet.html"},
      {"list_retry", "WaitSearch.html"},
      {"ethernet_back", "Power.html"},
      {"power_back", "Mac.html"},
      {"mac_back", "Main.html"},
  };
  for (const auto& [id, page] : steps) {
    pages.Click(id);
    EXPECT_EQ(pages.LastPage(), Page(page)) << id;
  }
}

TEST_F(QuenloDlgTest, UnknownIdsReachNoHandler) {
  Start();
  size_t before = pages.navigations.size();
  for (const char* id : {"", "MAC_NEXT", "nothing", "CQuenloDlg"}) pages.Click(id);
  EXPECT_EQ(pages.navigations.size(), before);
  EXPECT_TRUE(window.quit_codes.empty());
  EXPECT_TRUE(window.opened.empty());
}

TEST_F(QuenloDlgTest, MenuItemsOpenTheirTargets) {
  Start();
  for (const char* id : {"main_btn_ipsetup", "main_btn_vigilonPro", "main_btn_manual",
                         "main_btn_qig", "main_btn_product_reg", "finish_app"}) {
    pages.Click(id);
  }
  std::vector<std::string> expected = {
      medium.Root() + "bin/ipsetup.sh", medium.Root() + "Doc/Manual.html",
      medium.Root() + "Doc/QIG.html", "https://www.quenlo.example/register",
      "https://www.quenlo.example/App/"};  // the empty slot opens nothing
  EXPECT_EQ(window.opened, expected);
  EXPECT_EQ(pages.navigations.size(), 1u);  // the wizard stays on its page
}

TEST_F(QuenloDlgTest, HomeResetsPasswordAndFlagsButKeepsChoice) {
  Start();
  ClickAndLoad("main_btn_install_camera");
  dlg->m_password = "changed1";
  dlg->m_newPassword = "newpass12";
  dlg->m_changePassword = 1;
  dlg->m_rediscovering = 1;
  dlg->m_selectedIndex = 2;
  dlg->m_errorCode = 3;
  window.live_visible = true;
  pages.Click("home");
  EXPECT_EQ(pages.LastPage(), Page("Main.html"));
  EXPECT_EQ(dlg->m_password, "kerut");  // not the Config.ini default
  EXPECT_EQ(dlg->m_newPassword, "");
  EXPECT_EQ(dlg->m_changePassword.load(), 0);
  EXPECT_EQ(dlg->m_rediscovering.load(), 0);
  EXPECT_EQ(dlg->m_selectedIndex.load(), 2);
  EXPECT_EQ(dlg->m_errorCode.load(), 3);
  EXPECT_FALSE(window.live_visible);
}

TEST_F(QuenloDlgTest, HomeAndPasswordBackIgnoredWhileFinderRuns) {
  Start();
  ClickAndLoad("main_btn_install_camera");
  ScriptedFinder* raw = dlg->finder;
  // With an adapter the search reaches the exchange, where the hold keeps it
  // running; without one it could end before the clicks below.
  raw->adapters().Set({FakeAdapterSource::Entry("eth0", 0x11, kAdapterTypeEthernet, "192.168.1.10",
                                                "255.255.255.0")});
  raw->hold = true;
  dlg->StartSearch();
  ASSERT_TRUE(raw->IsRunning());
  dlg->m_password = "changed1";
  size_t before = pages.navigations.size();
  pages.Click("home");
  pages.Click("id_pw_back");
  EXPECT_EQ(pages.navigations.size(), before);
  EXPECT_EQ(dlg->m_password, "changed1");
  raw->hold = false;
  ASSERT_TRUE(raw->WaitIdle());
  pages.Click("home");
  EXPECT_EQ(pages.LastPage(), Page("Main.html"));
}

TEST_F(QuenloDlgTest, PasswordBackChoosesByPath) {
  Start();
  dlg->m_sameSubnet = 1;
  pages.Click("id_pw_back");
  EXPECT_EQ(pages.LastPage(), Page("List.html"));
  dlg->m_sameSubnet = 0;
  dlg->m_fixedIp = 1;
  pages.Click("id_pw_back");
  EXPECT_EQ(pages.LastPage(), Page("FixedIP.html"));
  for (int choice : {0, 2}) {
    dlg->m_fixedIp = choice;
    pages.Click("id_pw_back");
    EXPECT_EQ(pages.LastPage(), Page("Network.html"));
  }
  pages.Click("network_back");
  EXPECT_EQ(pages.LastPage(), Page("List.html"));
  pages.Click("fixedip_back");
  EXPECT_EQ(pages.LastPage(), Page("Network.html"));
}

TEST_F(QuenloDlgTest, ExitStopsLiveViewHidesLiveWindowAndQuitsWithZero) {
  Start();
  ASSERT_TRUE(dlg->m_video->Start());
  ASSERT_TRUE(dlg->m_audio->Start());
  window.live_visible = true;
  pages.Click("exit");
  EXPECT_FALSE(dlg->m_video->IsRunning());
  EXPECT_FALSE(dlg->m_audio->IsRunning());
  EXPECT_FALSE(window.live_visible);
  EXPECT_EQ(window.quit_codes, std::vector<int>{0});
  pages.Click("ButtonOK");
  pages.Click("ButtonCancel");
  EXPECT_EQ(window.quit_codes, (std::vector<int>{0, 1, 2}));
}

TEST_F(QuenloDlgTest, FinishNextStopsLiveViewAndShowsFinish2) {
  Start();
  window.live_visible = true;
  pages.Click("finish_next");
  EXPECT_FALSE(window.live_visible);
  EXPECT_EQ(pages.LastPage(), Page("Finish2.html"));
}

TEST_F(QuenloDlgTest, DestroyStopsWorkersAndSetsClosingFirst) {
  Start();
  ScriptedFinder* job = dlg->finder;  // a job that ignores the flag
  // The clock's hold, which outlives the job: the job may end, and go, as
  // soon as the hold is off, or before it ever waited.
  std::atomic<bool>& hold = job->hold;
  hold = true;
  ASSERT_TRUE(job->Start());
  ASSERT_TRUE(dlg->m_video->Start());
  std::thread finish_job([&] {
    while (!dlg->m_closing.load()) std::this_thread::yield();
    hold.store(false);
  });
  dlg->OnDestroy();
  finish_job.join();
  EXPECT_EQ(dlg->m_finder, nullptr);
  EXPECT_EQ(dlg->m_video, nullptr);
  EXPECT_EQ(dlg->m_audio, nullptr);
}

TEST_F(QuenloDlgTest, ShowPageLaterNavigatesFromTimerOnly) {
  Start();
  std::thread worker([&] { dlg->ShowPageLater("NotFound.html"); });
  worker.join();
  EXPECT_TRUE(window.TimerPending(CQuenloDlg::TIMER_SHOW_PAGE));
  EXPECT_EQ(window.timers[CQuenloDlg::TIMER_SHOW_PAGE], 100);
  EXPECT_EQ(pages.LastPage(), Page("Main.html"));
  dlg->OnTimer(CQuenloDlg::TIMER_SHOW_PAGE);
  EXPECT_FALSE(window.TimerPending(CQuenloDlg::TIMER_SHOW_PAGE));
  EXPECT_EQ(pages.LastPage(), Page("NotFound.html"));
}

TEST_F(QuenloDlgTest, RediscoverTimerGivesUpWaitingAfterElevenPolls) {
  Start();
  ScriptedFinder* job = dlg->finder;
  job->hold = true;
  ASSERT_TRUE(job->Start());
  window.Start(CQuenloDlg::TIMER_REDISCOVER, 300);
  dlg->OnTimer(CQuenloDlg::TIMER_REDISCOVER);  // returns although the job still runs
  EXPECT_TRUE(job->IsRunning());
  EXPECT_EQ(window.pauses, CQuenloDlg::kRediscoverPolls);
  EXPECT_FALSE(window.TimerPending(CQuenloDlg::TIMER_REDISCOVER));
  job->hold = false;
  ASSERT_TRUE(job->WaitIdle());
  // The search it then started was ignored: a job still ran.
  EXPECT_EQ(job->Jobs(), std::vector<int>{0});
}

TEST_F(QuenloDlgTest, MessageBoxFromWorkerUsesTitleAsCaption) {
  Start();
  std::thread worker([&] { dlg->MessageBox(dlg->m_messages[0]); });
  worker.join();
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0], std::make_pair(std::string("Setup A"), std::string("m0")));
}

TEST_F(QuenloDlgTest, AboutCommandShowsTitleInCaption) {
  Start();
  dlg->OnSysCommand(0x0F);  // not the About item (masked: 0)
  EXPECT_TRUE(window.about_captions.empty());
  dlg->OnSysCommand(CQuenloDlg::kAboutCommand | 0x3);  // low bits are ignored
  ASSERT_EQ(window.about_captions.size(), 1u);
  EXPECT_EQ(window.about_captions[0], "About Setup A");
  EXPECT_EQ(window.about_texts[0], "Setup A");
}

TEST_F(QuenloDlgTest, PasswordPageGetsCurrentPasswordIfFieldExists) {
  Start();
  pages.Navigate(Page("IDPassword.html"));
  pages.AddElement("id_pw_password", "value", std::string("typed"));
  pages.Complete();
  EXPECT_EQ(pages.GetAttribute("id_pw_password", "value"), PageValue(std::string("fromini")));
  pages.Navigate(Page("IDPassword.html"));  // a page without the field
  pages.Complete();
  EXPECT_FALSE(pages.HasElement("id_pw_password"));
}

TEST_F(QuenloDlgTest, NetworkPageIsMatchedWithoutCase) {
  Start();
  dlg->m_fixedIp = 1;
  pages.Navigate(Page("NetWork.html"));
  pages.Complete();
  EXPECT_EQ(pages.ScriptCount("ClickFixedIP"), 1);
  EXPECT_EQ(pages.ScriptCount("ClickDHCP"), 0);
  dlg->m_fixedIp = 0;
  pages.Navigate(Page("network.HTML"));
  pages.Complete();
  EXPECT_EQ(pages.ScriptCount("ClickDHCP"), 1);
  // A page outside the page folder runs no action.
  pages.Navigate("/elsewhere/Network.html");
  pages.Complete();
  EXPECT_EQ(pages.ScriptCount("ClickDHCP"), 1);
}

TEST_F(QuenloDlgTest, FixedIpPageFillsOnlyAddressesThatAreSet) {
  Start();
  dlg->m_netSettings.ipAddress = inet_addr("192.168.0.100");
  dlg->m_netSettings.subnetMask = inet_addr("255.255.255.0");
  dlg->m_netSettings.gateway = 0;
  pages.Navigate(Page("FixedIP.html"));
  for (const char* id : {"fixedip_ip", "fixedip_mask", "fixedip_gw"}) {
    pages.AddElement(id, "value", std::string("page"));
  }
  pages.Complete();
  EXPECT_EQ(pages.GetAttribute("fixedip_ip", "value"), PageValue(std::string("192.168.0.100")));
  EXPECT_EQ(pages.GetAttribute("fixedip_mask", "value"), PageValue(std::string("255.255.255.0")));
  EXPECT_EQ(pages.GetAttribute("fixedip_gw", "value"), PageValue(std::string("page")));
}

TEST_F(QuenloDlgTest, FailurePagePassesMessageForErrorCode) {
  medium.WriteHtmlFile("Message.ini", "");
  Start(kConfig, std::string(kMessages) + "msg_not_in_same_subnet=m10\n");
  const std::tuple<int, int, const char*> cases[] = {{0, 0, "m9"}, {1, 0, "m7"},  {1, 1, "m8"},
                                                     {1, 2, "m8"}, {2, 0, "m10"}, {3, 0, "m3"}};
  for (const auto& [code, fixed, text] : cases) {
    dlg->m_errorCode = code;
    dlg->m_fixedIp = fixed;
    pages.scripts.clear();
    pages.Navigate(Page("ConfigureFail.html"));
    pages.Complete();
    ASSERT_EQ(pages.scripts.size(), 1u) << code;
    EXPECT_EQ(pages.scripts[0].function, "ConfigFailSetInfo");
    EXPECT_EQ(pages.scripts[0].args, std::vector<std::string>{text});
  }
  dlg->m_errorCode = 7;
  pages.scripts.clear();
  pages.Navigate(Page("ConfigureFail.html"));
  pages.Complete();
  EXPECT_TRUE(pages.scripts.empty());
}

TEST_F(QuenloDlgTest, ListPageAddsOneRowPerCameraInOrder) {
  Start();
  pages.Navigate(Page("List.html"));
  pages.Complete();
  EXPECT_EQ(pages.ScriptCount("ListAddCamera"), 0);  // empty list: no rows
  dlg->m_cameras.push_back(Camera("TAVO-C1", {0, 1, 2, 3, 4, 5}, "192.168.1.20", 80));
  dlg->m_cameras.push_back(Camera("TAVO-C1", {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}, "10.0.0.7", 80));
  // A model name that fills its whole field carries no terminator.
  CameraRecord full = Camera("", {0xff, 0xee, 0xdd, 0xcc, 0xbb, 0xaa}, "10.0.0.8", 80);
  std::memset(full.modelName, 'M', sizeof(full.modelName));
  dlg->m_cameras.push_back(full);
  pages.Navigate(Page("list.html"));
  pages.Complete();
  ASSERT_EQ(pages.scripts.size(), 3u);
  const std::vector<std::string> rows[] = {
      {"1", "TAVO-C1", "000102030405", "", "192.168.1.20", "0", ""},
      {"2", "TAVO-C1", "001A2B3C4D5E", "", "10.0.0.7", "0", ""},
      {"3", std::string(sizeof(full.modelName), 'M'), "FFEEDDCCBBAA", "", "10.0.0.8", "0", ""}};
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(pages.scripts[i].args, rows[i]);
}

TEST_F(QuenloDlgTest, CameraWebPageOpensAddressWithPortAlwaysWritten) {
  Start();
  pages.Click("finish_name");  // no camera chosen yet: nothing to open
  EXPECT_TRUE(window.opened.empty());
  dlg->m_cameras.push_back(Camera("TAVO-C1", {0, 1, 2, 3, 4, 5}, "192.168.1.20", 80));
  dlg->m_cameras.push_back(Camera("TAVO-C1", {0, 1, 2, 3, 4, 6}, "10.1.2.3", 8080));
  dlg->m_selectedIndex = 0;
  pages.Click("finish_name");
  dlg->m_selectedIndex = 1;
  pages.Click("finish_hg");
  dlg->m_selectedIndex = 2;  // past the end
  pages.Click("finish_hg");
  EXPECT_EQ(window.opened,
            (std::vector<std::string>{"http://192.168.1.20:80/", "http://10.1.2.3:8080/"}));
  // Finishing with the configured factory password still set: a warning.
  dlg->m_selectedIndex = 1;
  pages.Navigate(Page("Finish.html"));
  pages.Complete();
  EXPECT_EQ(pages.ScriptCount("FinishSetInfo"), 1);
  EXPECT_EQ(pages.ScriptCount("FinishWarnFactoryPassword"), 1);
  EXPECT_TRUE(window.live_visible);
}

}  // namespace
