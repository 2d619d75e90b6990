// The real program under Xvfb, driven through its automation socket.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/a11y_bus.h"
#include "support/hang_guard.h"
#include "support/page_layout.h"
#include "support/ui_session.h"

namespace {

using nlohmann::json;

const std::string kBuiltMedium = std::string(QUENLO_BUILD_DIR) + "/medium/";

class WizardUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    display_ = std::make_unique<XvfbDisplay>();
    ASSERT_TRUE(display_->Ok()) << "Xvfb did not start";
  }
  void TearDown() override {
    session_.reset();
    a11y_.reset();  // after the program that publishes on it
    display_.reset();
  }
  // Starts the program on `medium_root` and waits for its first page.
  UiSession& Launch(const std::string& medium_root, const std::string& first_page,
                    const UiSession::Environment& environment = {}) {
    session_ = std::make_unique<UiSession>(medium_root, display_->Name(), environment);
    EXPECT_TRUE(session_->Connected());
    EXPECT_TRUE(session_->WaitForPage(first_page)) << "on " << session_->PageName();
    return *session_;
  }
  bool ElementHidden(const std::string& id) {
    return session_->WaitForScript("getComputedStyle(document.getElementById('" + id +
                                   "')).display === 'none'");
  }

  std::unique_ptr<XvfbDisplay> display_;
  std::unique_ptr<A11yBus> a11y_;
  std::unique_ptr<UiSession> session_;
};

TEST_F(WizardUiTest, StartsOnMainMenuInConfiguredWindow) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  json window = ui.Request({{"cmd", "window"}});
  EXPECT_EQ(window["title"], "Quenlo Camera Setup");
  EXPECT_EQ(window["width"], 800);
  EXPECT_EQ(window["height"], 600);
  EXPECT_EQ(window["x"], 0);              // the client area's left edge is the screen's
  EXPECT_LT(window["y"].get<int>(), 80);  // just below the header bar
  json live = ui.Request({{"cmd", "live"}});
  EXPECT_EQ(live["visible"], false);
  EXPECT_EQ(live["frames"], 0);
  // Nothing else may connect to the socket: it is the user's own.
  struct stat st;
  ASSERT_EQ(stat(ui.SocketPath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(WizardUiTest, MenuZeroStartsOnMacWithHomeAndBackHidden) {
  MediumCopy medium;
  medium.SetConfigLine("Menu", "0");
  UiSession& ui = Launch(medium.Root(), "Mac.html");
  EXPECT_EQ(ui.Request({{"cmd", "window"}})["title"], "Quenlo TAVO-C1 Setup");
  EXPECT_TRUE(ElementHidden("home"));
  EXPECT_TRUE(ElementHidden("mac_back"));
  // Hidden again each time the page loads.
  ASSERT_TRUE(ui.ClickTo("mac_next", "Power.html"));
  ASSERT_TRUE(ui.ClickTo("power_back", "Mac.html"));
  EXPECT_TRUE(ElementHidden("home"));
}

TEST_F(WizardUiTest, ClickPathForwardAndBack) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  EXPECT_TRUE(ui.ClickTo("main_btn_install_camera", "Mac.html"));
  EXPECT_TRUE(ui.ClickTo("mac_next", "Power.html"));
  EXPECT_TRUE(ui.ClickTo("power_next", "Ethernet.html"));
  EXPECT_TRUE(ui.ClickTo("ethernet_back", "Power.html"));
  EXPECT_TRUE(ui.ClickTo("power_back", "Mac.html"));
  EXPECT_TRUE(ui.ClickTo("mac_back", "Main.html"));
  EXPECT_TRUE(ui.ClickTo("main_btn_install_camera", "Mac.html"));
  EXPECT_TRUE(ui.ClickTo("mac_next", "Power.html"));
  EXPECT_TRUE(ui.ClickTo("power_next", "Ethernet.html"));
  // "ethernet_next" starts a search: the end-to-end tests click it inside
  // their own network namespaces, never from this machine's.
}

TEST_F(WizardUiTest, EnterAndEscPressMainAndBackButtonsAndInnerClicksReachHandler) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  ASSERT_TRUE(ui.ClickTo("main_btn_install_camera", "Mac.html"));
  ui.Request({{"cmd", "eval"},
              {"js",
               "document.body.dispatchEvent(new KeyboardEvent('keydown', "
               "{key: 'Enter', bubbles: true})); true"}});
  EXPECT_TRUE(ui.WaitForPage("Power.html"));
  // A click on an element without an id inside a mapped button counts for it.
  ui.Request({{"cmd", "eval"},
              {"js",
               "var s = document.createElement('span'); s.textContent = 'x';"
               "document.getElementById('power_next').appendChild(s); s.click(); true"}});
  EXPECT_TRUE(ui.WaitForPage("Ethernet.html"));
  // Esc presses the page's back button.
  ui.Request({{"cmd", "eval"},
              {"js",
               "document.body.dispatchEvent(new KeyboardEvent('keydown', "
               "{key: 'Escape', bubbles: true})); true"}});
  EXPECT_TRUE(ui.WaitForPage("Power.html"));
}

TEST_F(WizardUiTest, HomeReturnsToFirstPage) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  ASSERT_TRUE(ui.ClickTo("main_btn_install_camera", "Mac.html"));
  ASSERT_TRUE(ui.ClickTo("mac_next", "Power.html"));
  ASSERT_TRUE(ui.ClickTo("power_next", "Ethernet.html"));
  EXPECT_TRUE(ui.ClickTo("home", "Main.html"));
}

// The shipped medium names no viewer software: that item is not offered,
// and chosen anyway it says why.
TEST_F(WizardUiTest, MenuItemsRecordTheirTargets) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  EXPECT_TRUE(ElementHidden("main_btn_vigilonPro"));
  EXPECT_EQ(
      ui.Request({{"cmd", "eval"},
                  {"js", "document.querySelectorAll('main button.hidden').length"}})["result"],
      1);
  EXPECT_EQ(ui.Request({{"cmd", "click"}, {"id", "main_btn_vigilonPro"}})["ok"], true);
  json box = json::object();
  for (int i = 0; i < 100 && !box.value("open", false); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    box = ui.Request({{"cmd", "messagebox"}});
  }
  EXPECT_NE(box.value("text", "").find("This item has nothing to open"), std::string::npos) << box;
  EXPECT_EQ(ui.Request({{"cmd", "dismiss"}})["ok"], true);
  for (const char* id :
       {"main_btn_ipsetup", "main_btn_manual", "main_btn_qig", "main_btn_product_reg"}) {
    EXPECT_EQ(ui.Request({{"cmd", "click"}, {"id", id}})["ok"], true) << id;
  }
  // A web link of a page goes to the browser too, not into the view.
  ui.Request({{"cmd", "eval"},
              {"js",
               "var a = document.createElement('a'); a.href = 'https://www.quenlo.example/help';"
               "document.body.appendChild(a); a.click(); true"}});
  std::vector<std::string> expected = {
      kBuiltMedium + "bin/ip-setup", kBuiltMedium + "Doc/Manual.html",
      kBuiltMedium + "Doc/QIG.html", "https://www.quenlo.example/register/",
      "https://www.quenlo.example/help"};  // the empty slot opens nothing
  json launched;
  for (int i = 0; i < 100; ++i) {
    launched = ui.Request({{"cmd", "launched"}})["targets"];
    if (launched.size() >= expected.size()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(launched, json(expected));
  EXPECT_EQ(ui.PageName(), "Main.html");
  // The shipped targets exist on the medium, the tool as a program.
  EXPECT_EQ(access((kBuiltMedium + "bin/ip-setup").c_str(), X_OK), 0);
  EXPECT_TRUE(std::filesystem::exists(kBuiltMedium + "Doc/Manual.html"));
  EXPECT_TRUE(std::filesystem::exists(kBuiltMedium + "Doc/QIG.html"));
}

TEST_F(WizardUiTest, AboutBoxIsModalWithTitleCaption) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  ASSERT_EQ(ui.Request({{"cmd", "about"}})["ok"], true);
  json box = json::object();
  for (int i = 0; i < 100 && !box.value("open", false); ++i) {
    box = ui.Request({{"cmd", "messagebox"}});
  }
  EXPECT_EQ(box["open"], true);
  EXPECT_EQ(box["caption"], "About Quenlo Camera Setup");
  EXPECT_EQ(box["text"], "Quenlo Camera Setup");
  // While the box is open, page clicks reach no handler.
  json refused = ui.Request({{"cmd", "click"}, {"id", "main_btn_install_camera"}});
  EXPECT_EQ(refused["ok"], false);
  ui.Request(
      {{"cmd", "eval"}, {"js", "document.getElementById('main_btn_install_camera').click()"}});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(ui.PageName(), "Main.html");
  EXPECT_EQ(ui.Request({{"cmd", "dismiss"}})["ok"], true);
  EXPECT_EQ(ui.Request({{"cmd", "messagebox"}})["open"], false);
  EXPECT_EQ(ui.Request({{"cmd", "dismiss"}})["ok"], false);
  EXPECT_TRUE(ui.ClickTo("main_btn_install_camera", "Mac.html"));
}

TEST_F(WizardUiTest, ExitEndsProcessWithStatusZero) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  EXPECT_EQ(ui.Request({{"cmd", "click"}, {"id", "exit"}})["ok"], true);
  EXPECT_EQ(ui.WaitForExit(), 0);
}

TEST_F(WizardUiTest, ClickOnMissingElementIsAnError) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  json reply = ui.Request({{"cmd", "click"}, {"id", "no_such_button"}});
  EXPECT_EQ(reply["ok"], false);
  EXPECT_EQ(reply["error"], "no such element");
  EXPECT_EQ(ui.Request({{"cmd", "nonsense"}})["ok"], false);
}

// What each page must offer: the element ids and script functions the
// wizard uses on it.
struct PageCatalogue {
  const char* page;
  std::vector<std::string> ids;
  std::vector<std::string> functions;
};

const PageCatalogue kPages[] = {
    {"Main.html",
     {"main_btn_install_camera", "main_btn_ipsetup", "main_btn_vigilonPro", "main_btn_manual",
      "main_btn_qig", "main_btn_product_reg", "exit"},
     {"MainHideItems"}},
    {"Mac.html", {"home", "mac_back", "mac_next"}, {"HideHomeAndBackButton"}},
    {"Power.html", {"home", "power_back", "power_next"}, {}},
    {"Ethernet.html", {"home", "ethernet_back", "ethernet_next"}, {}},
    {"WaitSearch.html", {"search_count", "search_found"}, {"WaitSearchAddCamera"}},
    {"NotFound.html",
     {"home", "not_found_back", "not_found_retry"},
     {"NotFoundShowFindings", "NotFoundShowOtherModels"}},
    {"List.html",
     {"home", "list_back", "list_retry", "list_next"},
     {"ListAddCamera", "ListShowLostAnswers", "ListShowMoreCameras"}},
    {"IDPassword.html",
     {"home", "id_pw_back", "id_pw_next", "id_pw_password", "id_pw_change_pw", "id_pw_new_pw",
      "id_pw_cf_new_pw"},
     {}},
    {"Network.html",
     {"home", "network_back", "network_next", "network_dhcp", "network_fixedip"},
     {"ClickDHCP", "ClickFixedIP"}},
    {"FixedIP.html",
     {"home", "fixedip_back", "fixedip_next", "fixedip_auto", "fixedip_ip", "fixedip_mask",
      "fixedip_gw"},
     {}},
    {"Setup.html", {}, {}},
    {"Finish.html",
     {"home", "finish_name", "finish_hg", "finish_next", "finish_mute"},
     {"FinishSetInfo", "FinishWarnFactoryPassword", "FinishSetPassword", "FinishLiveStatus",
      "FinishShowMuted"}},
    {"Finish2.html", {"home", "finish_app", "exit"}, {}},
    {"ConfigureFail.html", {"home", "config_fail_retry"}, {"ConfigFailSetInfo"}},
};

// Sample data that the wizard would pass, so the screenshots show filled pages.
const std::map<std::string, std::string> kSampleScripts = {
    {"WaitSearch.html",
     "WaitSearchAddCamera(JSON.stringify({title: 'Front door', address: '192.168.1.20'}));"
     "WaitSearchAddCamera(JSON.stringify({title: '<b>Garden</b>', address: '10.20.30.40'}));"},
    {"List.html",
     "ListAddCamera(JSON.stringify({id: 'list_radio1', title: 'Front door', model: 'TAVO-C1', "
     "mac: '00:1A:2B:3C:4D:5E', address: '192.168.1.20', notes: [], warning: ''}));"
     "ListAddCamera(JSON.stringify({id: 'list_radio2', title: 'Garden', model: 'TAVO-C1', "
     "mac: '00:1A:2B:3C:4D:5F', address: '10.20.30.40', notes: ['On another network: its "
     "address will be set next'], warning: ''}));"},
    {"Finish.html",
     "FinishSetInfo(JSON.stringify({name: 'Front door', mac: '001A2B3C4D5E', "
     "address: 'http://192.168.1.20/'}));"
     "FinishWarnFactoryPassword(); FinishLiveStatus('1');"},
    {"NotFound.html",
     "NotFoundShowOtherModels(JSON.stringify({devices: 3, more_devices: false,"
     " models: ['TAVO-X9', 'tavo-c1'], more_models: false, model: 'TAVO-C1'}));"
     "NotFoundShowFindings('Searched through eth0 192.168.1.10/24.', '',"
     " 'Reverse-path filtering is strict on eth1.', 'To let them in, run: sudo sysctl -w "
     "net.ipv4.conf.eth1.rp_filter=2');"},
    {"ConfigureFail.html",
     "ConfigFailSetInfo('The camera could not be found again after its settings were "
     "changed.');"},
};

std::string MissingScript(const PageCatalogue& page) {
  std::string js = "var missing = [];";
  for (const std::string& id : page.ids) {
    js += "if (!document.getElementById('" + id + "')) missing.push('" + id + "');";
  }
  for (const std::string& fn : page.functions) {
    js += "if (typeof window['" + fn + "'] !== 'function') missing.push('" + fn + "()');";
  }
  return js + "missing";
}

TEST_F(WizardUiTest, EveryPageOffersItsElementsAndIsScreenshotted) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  const std::string artifacts = std::string(QUENLO_BUILD_DIR) + "/test-artifacts/";
  std::filesystem::create_directories(artifacts);
  for (const PageCatalogue& page : kPages) {
    ASSERT_TRUE(ui.LoadByScript(kBuiltMedium + "HTML/", page.page)) << page.page;
    EXPECT_EQ(ui.Request({{"cmd", "eval"}, {"js", MissingScript(page)}})["result"], json::array())
        << page.page;
    auto sample = kSampleScripts.find(page.page);
    if (sample != kSampleScripts.end()) {
      ui.Request({{"cmd", "eval"}, {"js", sample->second + " true"}});
    }
    const std::string shot = artifacts + "ui-" + std::string(page.page) + ".png";
    std::filesystem::remove(shot);
    EXPECT_EQ(ui.Request({{"cmd", "screenshot"}, {"path", shot}})["ok"], true);
    EXPECT_GT(std::filesystem::file_size(shot), 2000u) << page.page;
  }
}

// The lines that change while the person waits, by page: a screen reader
// must announce them without being asked.
const std::multimap<std::string, std::string> kLiveLines = {
    {"WaitSearch.html", "search_status"},     {"Setup.html", "setup_heading"},
    {"Setup.html", "setup_remaining"},        {"Finish.html", "finish_live_status"},
    {"NotFound.html", "not_found_diagnosis"}, {"ConfigureFail.html", "fail_message"},
};

// The accessible objects of `page` once every id it should show is in the
// tree (the tree follows the page a moment later), or what was read last.
json AccessibleObjects(const A11yBus& bus, const PageCatalogue& page) {
  std::vector<std::string> wanted = page.ids;
  for (auto [at, end] = kLiveLines.equal_range(page.page); at != end; ++at)
    wanted.push_back(at->second);
  json objects;
  for (int attempt = 0; attempt < 100; ++attempt) {
    objects = bus.PageObjects();
    size_t seen = 0, documents = 0;
    for (const json& object : objects.is_array() ? objects : json::array()) {
      documents += object["role"] == "document web";
      const std::string id = object["attributes"].value("id", "");
      seen += std::find(wanted.begin(), wanted.end(), id) != wanted.end();
    }
    if (documents == 1 && seen >= wanted.size()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return objects;
}

const json* ObjectWithId(const json& objects, const std::string& id) {
  for (const json& object : objects)
    if (object["attributes"].value("id", "") == id) return &object;
  return nullptr;
}

void ExpectNamedControls(const std::string& page, const json& objects) {
  static const std::set<std::string> kControls = {"push button",  "toggle button", "check box",
                                                  "radio button", "entry",         "password text",
                                                  "link",         "combo box",     "spin button"};
  for (const json& object : objects) {
    EXPECT_TRUE(!kControls.count(object["role"]) || object["name"] != "")
        << page << ": a " << object["role"] << " without a name " << object["attributes"].dump();
  }
}

// Announced as it changes: a live region of its own or inside one.
void ExpectLiveLines(const std::string& page, const json& objects) {
  for (auto [at, end] = kLiveLines.equal_range(page); at != end; ++at) {
    const json* line = ObjectWithId(objects, at->second);
    ASSERT_NE(line, nullptr) << page << " " << at->second;
    const json& attributes = (*line)["attributes"];
    const std::string live = attributes.value("live", attributes.value("container-live", ""));
    EXPECT_TRUE(live == "polite" || live == "assertive") << at->second << " " << attributes.dump();
  }
}

void ExpectPasswordText(const json& objects) {
  for (const char* id : {"id_pw_password", "id_pw_new_pw", "id_pw_cf_new_pw"}) {
    const json* field = ObjectWithId(objects, id);
    ASSERT_NE(field, nullptr) << id;
    EXPECT_EQ((*field)["role"], "password text") << id;
  }
}

// Each row reads as its camera: the name first, and the address (of the
// sample data of kSampleScripts).
void ExpectRowsReadAsCameras(const json& objects) {
  const std::tuple<const char*, std::string, std::string> rows[] = {
      {"list_radio1", "Front door", "192.168.1.20"}, {"list_radio2", "Garden", "10.20.30.40"}};
  for (const auto& [id, camera, address] : rows) {
    const json* row = ObjectWithId(objects, id);
    ASSERT_NE(row, nullptr) << id;
    EXPECT_EQ((*row)["role"], "radio button") << id;
    const std::string name = (*row)["name"];
    EXPECT_EQ(name.rfind(camera, 0), 0u) << name;
    EXPECT_NE(name.find(address), std::string::npos) << name;
  }
}

const std::map<std::string, void (*)(const json&)> kPageReadings = {
    {"IDPassword.html", ExpectPasswordText}, {"List.html", ExpectRowsReadAsCameras}};

// Walks every page as a screen reader reads it: each control has a name,
// the camera rows read as the camera's name and address, the password
// fields hide what they hold, and the lines that change are announced.
TEST_F(WizardUiTest, EveryPageReadsToAScreenReader) {
  a11y_ = std::make_unique<A11yBus>(display_->Name());
  ASSERT_TRUE(a11y_->Ok()) << "the accessibility bus did not start";
  UiSession& ui = Launch(kBuiltMedium, "Main.html", a11y_->Environment());
  for (const PageCatalogue& page : kPages) {
    ASSERT_TRUE(ui.LoadByScript(kBuiltMedium + "HTML/", page.page)) << page.page;
    auto sample = kSampleScripts.find(page.page);
    if (sample != kSampleScripts.end())
      ui.Request({{"cmd", "eval"}, {"js", sample->second + " true"}});
    const json objects = AccessibleObjects(*a11y_, page);
    ASSERT_TRUE(objects.is_array() && !objects.empty()) << page.page << ": no accessible tree";
    ExpectNamedControls(page.page, objects);
    ExpectLiveLines(page.page, objects);
    auto reading = kPageReadings.find(page.page);
    if (reading != kPageReadings.end()) reading->second(objects);
  }
}

// The countdown of the settings wait lies in a live region, which a screen
// reader reads at each change: it is written only when its text changes.
TEST_F(WizardUiTest, SettingsCountdownChangesOnlyWithItsText) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  ASSERT_TRUE(ui.LoadByScript(kBuiltMedium + "HTML/", "Setup.html"));
  ui.Request({{"cmd", "eval"},
              {"js",
               "var line = document.getElementById('setup_remaining');"
               "window.said = [line.textContent]; new MutationObserver(function () {"
               " said.push(line.textContent); }).observe(line, {childList: true,"
               " characterData: true, subtree: true}); true"}});
  ASSERT_TRUE(ui.WaitForScript("said.length >= 4", 20000)) << "the countdown hung";
  EXPECT_EQ(
      ui.Request(
          {{"cmd", "eval"},
           {"js", "said.every(function (t, i) { return !i || t !== said[i - 1]; })"}})["result"],
      true);
}

// With the desktop's text scaled to 1.5, pages full of text keep their
// footer and main button in view; their content scrolls instead.
TEST_F(WizardUiTest, LargeTextKeepsMainButtonAndFooterInView) {
  setenv("GDK_DPI_SCALE", "1.5", 1);
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  const std::string artifacts = std::string(QUENLO_BUILD_DIR) + "/test-artifacts/";
  std::filesystem::create_directories(artifacts);
  for (const char* page : {"IDPassword.html", "List.html", "Finish.html"}) {
    ASSERT_TRUE(ui.LoadByScript(kBuiltMedium + "HTML/", page)) << page;
    auto sample = kSampleScripts.find(page);
    if (sample != kSampleScripts.end())
      ui.Request({{"cmd", "eval"}, {"js", sample->second + " true"}});
    const json seen = ui.Request({{"cmd", "eval"}, {"js", kPageLayoutScript}})["result"];
    ASSERT_TRUE(seen.is_array()) << page;
    EXPECT_EQ(seen[0], true) << page;           // the main button lies inside the view
    EXPECT_EQ(seen[1], true) << page;           // the footer is whole
    EXPECT_GE(seen[2].get<int>(), 45) << page;  // the text did grow (22 px headings at 1.0)
    EXPECT_EQ(ui.Request(
                  {{"cmd", "screenshot"}, {"path", artifacts + "ui-large-" + page + ".png"}})["ok"],
              true);
  }
}

// Configuration files of junk: the wizard starts with its defaults at once.
TEST_F(WizardUiTest, JunkConfigurationStartsWithDefaults) {
  MediumCopy medium;
  std::mt19937 random(7);
  std::string junk(10 << 20, '\0');
  for (char& c : junk) c = static_cast<char>(random());
  std::ofstream(medium.Root() + "HTML/Config.ini", std::ios::binary) << junk;
  std::ofstream(medium.Root() + "HTML/Message.ini", std::ios::binary)
      << "[Message]\nmsg_pw_incorrect=" << std::string(1 << 20, 'x') << "\n";
  // Reading junk costs no more than reading the real files: no hang.
  UiSession* ui = nullptr;
  EXPECT_TRUE(testsupport::EndsWithoutHanging(
      "starting on a junk configuration", std::chrono::seconds(2),
      [&] { ui = &Launch(medium.Root(), "Mac.html"); }));  // no "Menu": the instructions first
  EXPECT_EQ(ui->Request({{"cmd", "window"}})["title"], "");
}

// A camera name of junk (what the repair of 520 bad bytes and control
// characters gives) stays on one line: its row is as high as another.
TEST_F(WizardUiTest, CameraTextOfJunkKeepsTheRowHeight) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  ASSERT_TRUE(ui.LoadByScript(kBuiltMedium + "HTML/", "List.html"));
  const json heights = ui.Request(
      {{"cmd", "eval"},
       {"js",
        "function row(n, title) { return JSON.stringify({id: 'list_radio' + n, title: title,"
        " model: 'TAVO-C1', mac: '00:1A:2B:3C:4D:5E', address: '10.0.0.' + n,"
        " notes: ['On another network'],"
        " warning: ''}); }"
        "ListAddCamera(row(1, '\\ufffd'.repeat(500) + "
        "'\\u0001\\u0007\\t\\n\\r\\u001b[31m' + '\\ufffd'.repeat(20)));"
        "ListAddCamera(row(2, 'Garden'));"
        "Array.from(document.querySelectorAll('#camera_list label'))"
        ".map(function (l) { return l.getBoundingClientRect().height; })"}})["result"];
  ASSERT_TRUE(heights.is_array() && heights.size() == 2) << heights;
  EXPECT_EQ(heights[0], heights[1]);
}

// Script: whether the characters of the text node `node` stand on the
// screen from left to right, one after the other, as they are written.
constexpr const char* kInOrderScript =
    "function inOrder(node) { var xs = []; for (var i = 0; i < node.length; ++i) {"
    " var r = document.createRange(); r.setStart(node, i); r.setEnd(node, i + 1);"
    " var box = r.getBoundingClientRect(); if (box.width > 0) xs.push(box.left); }"
    " return xs.length === node.length && xs.every(function (x, i) {"
    " return i === 0 || x > xs[i - 1]; }); }";

// Camera texts are set as text, never as markup, and each is isolated for
// direction: a right-to-left override in a name or model reorders only
// itself, never the MAC and address beside it.
TEST_F(WizardUiTest, ListAndSearchPagesShowCameraTextLiterally) {
  UiSession& ui = Launch(kBuiltMedium, "Main.html");
  ASSERT_TRUE(ui.LoadByScript(kBuiltMedium + "HTML/", "List.html"));
  ui.Request({{"cmd", "eval"},
              {"js",
               "function row(n, title) { return JSON.stringify({id: 'list_radio' + n, title: title,"
               " details: '', notes: [], warning: ''}); }"
               "ListAddCamera(row(1, '<b>x</b>')); ListAddCamera(row(2, 'TAVO-C1')); true"}});
  EXPECT_EQ(ui.Request({{"cmd", "eval"},
                        {"js",
                         "[document.getElementById('list_radio1').checked,"
                         " document.getElementById('list_radio2').checked,"
                         " document.querySelectorAll('#camera_list b').length]"}})["result"],
            json::parse("[true, false, 0]"));
  EXPECT_EQ(ui.Request({{"cmd", "check"}, {"id", "list_radio2"}, {"checked", true}})["ok"], true);
  EXPECT_EQ(
      ui.Request(
          {{"cmd", "eval"},
           {"js", "document.querySelectorAll('#camera_list input:checked').length"}})["result"],
      1);
  EXPECT_EQ(ui.Request({{"cmd", "set"}, {"id", "nope"}, {"value", "x"}})["ok"], false);
  EXPECT_EQ(
      ui.Request({{"cmd", "eval"},
                  {"js", std::string(kInOrderScript) +
                             "ListAddCamera(JSON.stringify({id: 'list_radio3',"
                             " title: 'Front door \u202e12.1.861.291', model: 'TAVO\u202e-C1',"
                             " mac: '00:1A:2B:3C:4D:5E', address: '192.168.1.20', notes: [],"
                             " warning: ''}));"
                             "var text = document.getElementById('list_radio3').nextSibling;"
                             "var details = text.children[1];"
                             "[details.textContent, inOrder(details.lastChild),"
                             " getComputedStyle(text.firstChild).unicodeBidi,"
                             " getComputedStyle(details.firstChild).unicodeBidi]"}})["result"],
      json::parse("[\"TAVO\u202e-C1 \u00b7 MAC 00:1A:2B:3C:4D:5E \u00b7 192.168.1.20\","
                  " true, \"isolate\", \"isolate\"]"));
  // The search page counts the cameras as they come, their texts shown literally.
  ASSERT_TRUE(ui.LoadByScript(kBuiltMedium + "HTML/", "WaitSearch.html"));
  ui.Request({{"cmd", "eval"}, {"js", kSampleScripts.at("WaitSearch.html") + " true"}});
  EXPECT_EQ(
      ui.Request({{"cmd", "eval"},
                  {"js",
                   "[document.getElementById('search_count').textContent,"
                   " document.getElementById('search_found').textContent,"
                   " document.querySelectorAll('#search_found b').length]"}})["result"],
      json::parse(R"(["2 cameras found so far",)"
                  R"( "Front door \u00b7 192.168.1.20<b>Garden</b> \u00b7 10.20.30.40", 0])"));
  EXPECT_EQ(
      ui.Request({{"cmd", "eval"},
                  {"js", std::string(kInOrderScript) +
                             "WaitSearchAddCamera(JSON.stringify({title: 'Front door "
                             "\u202e12.1.861.291', address: '192.168.1.20'}));"
                             "var item = document.getElementById('search_found').lastChild;"
                             "[item.lastChild.textContent, inOrder(item.lastChild)]"}})["result"],
      json::parse(R"([" \u00b7 192.168.1.20", true])"));
}

}  // namespace
