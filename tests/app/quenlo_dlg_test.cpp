#include "app/quenlo_dlg.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/dlg_fixture.h"
#include "support/hang_guard.h"

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
  EXPECT_EQ(dlg->State().m_htmlFolder, medium.HtmlFolder());
  EXPECT_EQ(dlg->State().m_model, "TAVO-C1");
  EXPECT_EQ(dlg->State().m_password, "fromini");
  EXPECT_EQ(dlg->State().m_showMenu, 1);
  EXPECT_EQ(dlg->State().m_selectedIndex, -1);
  EXPECT_EQ(dlg->State().m_noReply, 1);
  EXPECT_EQ(dlg->State().m_messages[0], "m0");
  EXPECT_EQ(dlg->State().m_messages[9], "m9");
  EXPECT_EQ(dlg->State().m_messages[10], "");  // missing key: empty text
}

// A web address opens as it is; a file target is taken from the medium's
// folder and opens only while it stays inside the medium. The registration
// slot, once left as it was written, follows the same rules as the others.
// An item that may open nothing is hidden on the first page, and chosen
// anyway it says why.
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
    pages.scripts.clear();
    pages.Complete();
    window.opened.clear();
    window.boxes.clear();
    pages.Click("main_btn_product_reg");
    EXPECT_EQ(window.opened, opened) << target;
    const std::vector<std::string> hidden = pages.LastArgs("MainHideItems");
    EXPECT_EQ(std::find(hidden.begin(), hidden.end(), "main_btn_product_reg") != hidden.end(),
              opened.empty())
        << target;
    EXPECT_EQ(window.boxes.size(), opened.empty() ? 1u : 0u) << target;
  }
}

TEST_F(QuenloDlgTest, MenuZeroStartsOnMacWithTitle2AndHidesHomeEveryLoad) {
  std::string config = kConfig;
  config.replace(config.find("Menu=1"), 6, "Menu=0");
  Start(config);
  EXPECT_EQ(pages.LastPage(), Page("Mac.html"));
  EXPECT_EQ(window.title, "Setup B");
  EXPECT_EQ(dlg->State().m_title, "Setup B");
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
  EXPECT_EQ(dlg->State().m_password, "");  // the empty default replaces "kerut"
  EXPECT_EQ(dlg->State().m_model, "");
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
  pages.Complete();
  EXPECT_EQ(pages.LastArgs("MainHideItems"), std::vector<std::string>{"main_btn_vigilonPro"});
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
  // It says why: a medium without the message's key has the wizard's text.
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_NE(window.boxes[0].second.find("nothing to open"), std::string::npos)
      << window.boxes[0].second;
}

// Home during the camera's restart: the typed passwords and the flow's flags
// go, the chosen camera stays.
TEST_F(QuenloDlgTest, HomeResetsPasswordAndFlagsButKeepsChoice) {
  AcceptedByDhcp("changed1", true, "newpass12");
  Fire(CQuenloDlg::TIMER_SETTINGS_WAIT);
  ASSERT_TRUE(dlg->State().m_rediscovering);
  window.live_visible = true;
  pages.Click("home");
  EXPECT_EQ(pages.LastPage(), Page("Main.html"));
  EXPECT_EQ(dlg->State().m_password, "kerut");  // not the Config.ini default
  EXPECT_EQ(dlg->State().m_newPassword, "");
  EXPECT_FALSE(dlg->State().m_changePassword);
  EXPECT_FALSE(dlg->State().m_rediscovering);
  EXPECT_EQ(dlg->State().m_selectedIndex, 0);
  EXPECT_FALSE(window.live_visible);
}

TEST_F(QuenloDlgTest, HomeAndPasswordBackIgnoredWhileFinderRuns) {
  StartWizard();
  ClickAndLoad("main_btn_install_camera");
  finder().hold = true;
  pages.Click("ethernet_next");
  ASSERT_TRUE(finder().IsRunning());
  size_t before = pages.navigations.size();
  pages.Click("home");
  pages.Click("id_pw_back");
  EXPECT_EQ(pages.navigations.size(), before);
  EXPECT_EQ(dlg->State().m_password, "fromini");
  finder().hold = false;
  Settle();
  pages.Click("home");
  EXPECT_EQ(pages.LastPage(), Page("Main.html"));
}

// Back from the password page returns to where the settings were chosen.
TEST_F(QuenloDlgTest, PasswordBackChoosesByPath) {
  StartWizard();
  ScriptSearch({Found("TAVO-C1", 0x01, "192.168.1.30"), Found("TAVO-C1", 0x02, "10.20.30.40")});
  Search();
  ChooseRow(1, 2);  // on this network
  pages.Click("id_pw_back");
  EXPECT_EQ(pages.LastPage(), Page("List.html"));
  ChooseRow(2, 2);  // on another: none, DHCP, then a fixed address chosen
  for (const char* choice : {"", "network_dhcp", "network_fixedip"}) {
    if (*choice) pages.AddElement(choice, "checked", true);
    pages.Click("network_next");
    if (std::string(choice) == "network_fixedip") {
      FillFixed("192.168.1.20", "255.255.255.0", "192.168.1.1");
      pages.Click("fixedip_next");
    }
    pages.Click("id_pw_back");
    EXPECT_EQ(pages.LastPage(), Page(*choice && choice[8] == 'f' ? "FixedIP.html" : "Network.html"))
        << choice;
  }
  pages.Click("network_back");
  EXPECT_EQ(pages.LastPage(), Page("List.html"));
  pages.Click("fixedip_back");
  EXPECT_EQ(pages.LastPage(), Page("Network.html"));
}

TEST_F(QuenloDlgTest, ExitStopsLiveViewHidesLiveWindowAndQuitsWithZero) {
  Start();
  ASSERT_TRUE(dlg->Video()->Start());
  ASSERT_TRUE(dlg->Audio()->Start());
  window.live_visible = true;
  pages.Click("exit");
  EXPECT_FALSE(dlg->Video()->IsRunning());
  EXPECT_FALSE(dlg->Audio()->IsRunning());
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

// The search is held in its exchange, which the hold alone would keep for
// ever: the close's stop ends it.
TEST_F(QuenloDlgTest, DestroyStopsWorkersAndDropsWhatTheyHandedOver) {
  StartWizard();  // with an adapter the search reaches its exchange, where the hold keeps it
  ScriptedFinder* job = dlg->finder;
  // The clock's hold, which outlives the job.
  std::atomic<bool>& hold = job->hold;
  hold = true;
  pages.Click("ethernet_next");
  ASSERT_TRUE(job->IsRunning());
  ASSERT_TRUE(dlg->Video()->Start());
  // Lifted late, so that a close the stop misses fails instead of hanging.
  std::atomic<bool> destroyed{false};
  std::thread lift([&] {
    const auto late = std::chrono::steady_clock::now() +
                      2 * testsupport::HungAfter(std::chrono::milliseconds(500));
    while (!destroyed.load() && std::chrono::steady_clock::now() < late)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    hold.store(false);
  });
  EXPECT_TRUE(testsupport::EndsWithoutHanging(
      "closing during a search", std::chrono::milliseconds(500), [&] { dlg->OnDestroy(); }));
  destroyed = true;
  lift.join();
  EXPECT_FALSE(dlg->HasFinder());
  EXPECT_EQ(dlg->Video(), nullptr);
  EXPECT_EQ(dlg->Audio(), nullptr);
  // The search's end, handed over before the finder stopped, is dropped.
  const size_t navigations = pages.navigations.size();
  window.RunPosted();
  EXPECT_EQ(pages.navigations.size(), navigations);
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
  pages.Navigate(Page("NetWork.html"));
  pages.Complete();
  pages.Navigate(Page("network.HTML"));
  pages.Complete();
  EXPECT_EQ(pages.ScriptCount("ClickDHCP"), 2);
  // A page outside the page folder runs no action.
  pages.Navigate("/elsewhere/Network.html");
  pages.Complete();
  EXPECT_EQ(pages.ScriptCount("ClickDHCP"), 2);
}

// The proposal for an adapter without a gateway leaves the gateway field as
// the page has it.
TEST_F(QuenloDlgTest, FixedIpPageFillsOnlyAddressesThatAreSet) {
  StartWizard();
  finder().adapters().Set({FakeAdapterSource::Entry(
      "eth0", dlgtest::kAdapterMac, kAdapterTypeEthernet, "192.168.0.10", "255.255.255.0")});
  ScriptSearch({Found("TAVO-C1", 0x01, "10.20.30.40")});
  Search();
  ChooseRow(1, 1);
  pages.AddElement("network_fixedip", "checked", true);
  pages.Click("network_next");
  for (const char* id : {"fixedip_ip", "fixedip_mask", "fixedip_gw"}) {
    pages.AddElement(id, "value", std::string("page"));
  }
  pages.Complete();
  EXPECT_EQ(pages.GetAttribute("fixedip_ip", "value"), PageValue(std::string("192.168.0.1")));
  EXPECT_EQ(pages.GetAttribute("fixedip_mask", "value"), PageValue(std::string("255.255.255.0")));
  EXPECT_EQ(pages.GetAttribute("fixedip_gw", "value"), PageValue(std::string("page")));
}

TEST_F(QuenloDlgTest, CameraWebPageOpensAddressWithPortAlwaysWritten) {
  StartWizard();
  pages.Click("finish_name");  // no camera chosen yet: nothing to open
  EXPECT_TRUE(window.opened.empty());
  ScriptSearch({Found("TAVO-C1", 0x01, "192.168.1.20"), Found("TAVO-C1", 0x02, "10.1.2.3", 8080)});
  Search();
  for (int row : {1, 2}) {
    ChooseRow(row, 2);
    pages.Click(row == 1 ? "finish_name" : "finish_hg");
    pages.Navigate(Page("List.html"));
  }
  EXPECT_EQ(window.opened,
            (std::vector<std::string>{"http://192.168.1.20:80/", "http://10.1.2.3:8080/"}));
}

}  // namespace
