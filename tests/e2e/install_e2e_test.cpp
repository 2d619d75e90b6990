// Whole installations: the real program under Xvfb, driven through its
// automation socket as a person would, inside a virtual LAN of network
// namespaces that each test builds and removes. The pc has one adapter on
// 192.168.1.0/24; simulated cameras sit on its subnet or on 10.20.0.0/16.
// Each test checks the pages, the message boxes, what the page scripts
// showed, and the simulator afterwards (its address, and its password by
// logging in over HTTP from inside the pc).
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/profile.h"
#include "net/tavo_cgi.h"
#include "support/hang_guard.h"
#include "support/lan_wizard.h"
#include "support/weston_display.h"

namespace {

using nlohmann::json;

constexpr const char* kSameMac = "001A2B000001";
constexpr const char* kOtherMac = "001A2B000002";
constexpr const char* kDripMac = "001A2B000003";
// As the list page writes them.
std::string ListedMac(const std::string& mac) {
  std::string out;
  for (size_t i = 0; i < mac.size(); i += 2) out += (i ? ":" : "") + mac.substr(i, 2);
  return out;
}
class InstallE2E : public LanWizardTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LanWizardTest::SetUp());
    medium_ = std::make_unique<MediumCopy>();
    messages_.Load(medium_->Root() + "HTML/Message.ini");
  }

  // "same": 192.168.1.20 on the pc's subnet. "other": 10.20.30.40/16, which
  // takes 192.168.1.21 when told to use DHCP.
  void AddSameCamera(std::vector<std::string> extra = {}) {
    // Later options win: the test's own come last.
    extra.insert(extra.begin(), {"--mac", "00:1a:2b:00:00:01", "--name", "Front door", "--gateway",
                                 "192.168.1.1"});
    ASSERT_TRUE(lan_->AddCamera("same", "a", "192.168.1.20/24", extra)) << lan_->Error();
  }
  void AddOtherCamera(std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--mac", "00:1a:2b:00:00:02", "--name", "Garden", "--gateway",
                                 "10.20.0.1", "--set-delay-ms", "500", "--dhcp-lease",
                                 "192.168.1.21/24", "--dhcp-gateway", "192.168.1.1"});
    ASSERT_TRUE(lan_->AddCamera("other", "a", "10.20.30.40/16", extra)) << lan_->Error();
  }

  UiSession& Launch(int settings_wait_ms = kShortSettingsWaitMs) {
    return LanWizardTest::Launch(medium_->Root(), settings_wait_ms);
  }

  // The search, the camera on the other subnet, and DHCP or a fixed address.
  void OtherCameraByDhcpToPasswordPage() {
    ASSERT_NO_FATAL_FAILURE(SearchToList());
    ASSERT_NO_FATAL_FAILURE(ChooseCamera(kOtherMac, "Network.html"));
    Check("network_dhcp", true);
    ASSERT_TRUE(ui().ClickTo("network_next", "IDPassword.html"));
    Check("id_pw_change_pw", false);  // keep the factory password
  }
  void OtherCameraToFixedAddressPage() {
    ASSERT_NO_FATAL_FAILURE(SearchToList());
    ASSERT_NO_FATAL_FAILURE(ChooseCamera(kOtherMac, "Network.html"));
    Check("network_fixedip", true);
    ASSERT_TRUE(ui().ClickTo("network_next", "FixedIP.html"));
  }
  int Rows() { return Eval("document.querySelectorAll('#camera_list input').length").get<int>(); }
  // Checks the row that shows this MAC and goes on.
  void ChooseCamera(const std::string& mac, const std::string& next_page) {
    json id = Eval(
        "(function(){var ls=document.querySelectorAll('#camera_list label');"
        "for(var i=0;i<ls.length;i++)if(ls[i].textContent.indexOf('" +
        ListedMac(mac) + "')>=0)return ls[i].querySelector('input').id;return '';})()");
    ASSERT_TRUE(id.is_string() && !id.get<std::string>().empty()) << mac;
    ASSERT_EQ(ui().Request({{"cmd", "check"}, {"id", id}, {"checked", true}})["ok"], true);
    ASSERT_TRUE(ui().ClickTo("list_next", next_page)) << ui().PageName();
  }
  void Set(const std::string& id, const std::string& value) {
    ASSERT_EQ(ui().Request({{"cmd", "set"}, {"id", id}, {"value", value}})["ok"], true) << id;
  }
  void Check(const std::string& id, bool checked) {
    ASSERT_EQ(ui().Request({{"cmd", "check"}, {"id", id}, {"checked", checked}})["ok"], true) << id;
  }
  void Click(const std::string& id) {
    ASSERT_EQ(ui().Request({{"cmd", "click"}, {"id", id}})["ok"], true) << id;
  }
  void FillPassword(const std::string& current, bool change, const std::string& next = "",
                    const std::string& confirm = "") {
    Set("id_pw_password", current);
    Check("id_pw_change_pw", change);
    Set("id_pw_new_pw", next);
    Set("id_pw_cf_new_pw", confirm);
  }
  // Waits for the message box, closes it and returns its text.
  std::string TakeBox(int timeout_ms = 20000) {
    for (int waited = 0; waited < timeout_ms; waited += 100) {
      json box = ui().Request({{"cmd", "messagebox"}});
      if (box.value("open", false)) {
        EXPECT_EQ(box["caption"], "Quenlo Camera Setup");
        EXPECT_EQ(ui().Request({{"cmd", "dismiss"}})["ok"], true);
        return box["text"].get<std::string>();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "(no box)";
  }
  std::string Message(const char* key) { return messages_.GetString("Message", key, ""); }
  std::string Shot(const std::string& name) {
    const std::string dir = std::string(QUENLO_BUILD_DIR) + "/test-artifacts/";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "e2e-" + name + ".png";
    EXPECT_EQ(ui().Request({{"cmd", "screenshot"}, {"path", path}})["ok"], true) << name;
    return path;
  }
  int Frames() { return ui().Request({{"cmd", "live"}}).value("frames", -1); }
  // The share of the live area's pixels in the screenshot `png` that are not
  // black, over the whole area and along its bottom row (a picture fitted
  // with bars above and below would leave that row black).
  std::pair<double, double> LiveAreaLit(const std::string& png) {
    GdkPixbuf* shot = gdk_pixbuf_new_from_file(png.c_str(), nullptr);
    if (!shot) return {0, 0};
    const int client_height = ui().Request({{"cmd", "window"}}).value("height", 0);
    const int top = gdk_pixbuf_get_height(shot) - client_height;  // the header bar
    const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
    const guchar* data = gdk_pixbuf_get_pixels(shot);
    auto lit = [&](int x, int y) {
      const guchar* p = data + (top + 60 + y) * stride + (490 + x) * channels;
      return p[0] + p[1] + p[2] > 60;
    };
    int area = 0, bottom = 0;
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 160; ++x) area += lit(x, y);
    for (int x = 0; x < 160; ++x) bottom += lit(x, 119);
    g_object_unref(shot);
    return {area / (160.0 * 120), bottom / 160.0};
  }
  // The live viewer, opened by Enter on the finish page's picture: it paints
  // the 640x480 stream larger than the small picture, mutes the sound in step
  // with the page's button, saves the picture into `pictures`, and closes
  // again while the small picture goes on.
  void ExpectViewerWorks(const std::string& pictures) {
    json viewer = ui().Request({{"cmd", "live-open"}, {"button", "Enter"}});
    ASSERT_EQ(viewer["ok"], true) << viewer.dump();
    EXPECT_EQ(viewer["open"], true);
    for (int waited = 0; viewer.value("frames", 0) < 10; waited += 100) {
      ASSERT_LT(waited, 20000) << "hung: the viewer painted " << viewer.value("frames", 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      viewer = ui().Request({{"cmd", "live-viewer"}});
    }
    EXPECT_EQ(std::vector<int>({viewer["picture_width"], viewer["picture_height"]}),
              std::vector<int>({640, 480}));
    EXPECT_GT(viewer["drawn_width"].get<int>(), 160);
    EXPECT_GT(viewer["drawn_height"].get<int>(), 120);
    EXPECT_EQ(viewer["muted"], false);
    EXPECT_EQ(ui().Request({{"cmd", "live-mute"}})["muted"], true);
    EXPECT_TRUE(ui().WaitForScript(
        "document.getElementById('finish_mute').textContent === 'Unmute sound'"));
    Click("finish_mute");
    EXPECT_TRUE(
        ui().WaitForScript("document.getElementById('finish_mute').textContent === 'Mute sound'"));
    EXPECT_EQ(ui().Request({{"cmd", "live-viewer"}})["muted"], false);
    const json saved = ui().Request({{"cmd", "live-save"}});
    ASSERT_EQ(saved["ok"], true) << saved.dump();
    const std::string path = saved["path"];
    EXPECT_EQ(path.rfind(pictures + "Front door ", 0), 0u) << path;
    EXPECT_EQ(ui().Request({{"cmd", "live-viewer"}})["note"], "Saved to " + path);
    int width = 0, height = 0;
    EXPECT_NE(gdk_pixbuf_get_file_info(path.c_str(), &width, &height), nullptr) << path;
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(640, 480));
    const std::string shot = std::string(QUENLO_BUILD_DIR) + "/test-artifacts/e2e-viewer.png";
    EXPECT_EQ(ui().Request({{"cmd", "live-screenshot"}, {"path", shot}})["ok"], true);
    const int frames = Frames();
    EXPECT_TRUE(ui().WaitForLive(frames + 5, 20000)) << "the small picture stopped";
  }
  // Logs in to a camera's HTTP side from inside the pc.
  static bool LoginWorks(const char* address, const char* password) {
    NTavoCGI cgi(false);
    cgi.http().SetServer(address, 80, "admin", password);
    return cgi.QueryIPAddress() != nullptr;
  }
  bool CameraHasAddress(const std::string& camera, const std::string& address) {
    std::string out;
    lan_->Ip(camera, {"-4", "-o", "addr", "show", "dev", "eth0"}, &out);
    return out.find("inet " + address + "/") != std::string::npos;
  }
  // The camera's addresses and routes, for a failure's message.
  std::string CameraLinks(const std::string& camera) {
    std::string addresses, routes;
    lan_->Ip(camera, {"-4", "-o", "addr", "show", "dev", "eth0"}, &addresses);
    lan_->Ip(camera, {"-4", "route"}, &routes);
    return addresses + routes;
  }
  void ExpectFailurePage(const char* key) {
    ASSERT_TRUE(ui().WaitForPage("ConfigureFail.html", kSettingsRoundMs)) << ui().PageName();
    EXPECT_TRUE(ui().WaitForScript("document.getElementById('fail_message').textContent === " +
                                   json(Message(key)).dump()))
        << key;
  }

  // "Front door" installed keeping the factory password, its live picture
  // checked on the screen, lost and found again.
  void InstallSameSubnetKeepingPassword();

  std::unique_ptr<MediumCopy> medium_;
  ProfileFile messages_;
};

// The same installations with the wizard on Wayland: a headless Weston.
class InstallE2EWayland : public InstallE2E {
 protected:
  std::unique_ptr<TestDisplay> MakeDisplay() override { return std::make_unique<WestonDisplay>(); }
};

void InstallE2E::InstallSameSubnetKeepingPassword() {
  ASSERT_NO_FATAL_FAILURE(AddSameCamera());
  // Saved pictures go to ~/Pictures: a home of the test's own, with no
  // desktop folder settings, so the wizard makes the folder itself.
  char home_template[] = "/tmp/quenlo-home-XXXXXX";
  ASSERT_NE(mkdtemp(home_template), nullptr);
  const std::string home = home_template;
  environment_.emplace_back("HOME", home);
  environment_.emplace_back("XDG_CONFIG_HOME", "");
  Launch();
  ASSERT_NO_FATAL_FAILURE(SearchToList());
  EXPECT_EQ(Rows(), 1);
  EXPECT_EQ(Text("camera_list"),
            "Front doorTAVO-C1 \u00b7 MAC 00:1A:2B:00:00:01 \u00b7 192.168.1.20");
  Shot("list");
  ASSERT_NO_FATAL_FAILURE(ChooseCamera(kSameMac, "IDPassword.html"));
  EXPECT_EQ(Eval("document.getElementById('id_pw_password').value"), "kerut");
  // A new password is proposed: the box is ticked and its fields shown.
  EXPECT_EQ(Eval("document.getElementById('id_pw_change_pw').checked"), true);
  EXPECT_EQ(Eval("document.getElementById('id_pw_new_pw').offsetParent !== null"), true);
  Shot("idpassword");
  Check("id_pw_change_pw", false);
  const auto clicked = std::chrono::steady_clock::now();
  Click("id_pw_next");
  ASSERT_TRUE(ui().WaitForPage("Finish.html", 15000)) << ui().PageName();
  // The 2-second pause job ran before the finish page.
  EXPECT_GE(std::chrono::steady_clock::now() - clicked, std::chrono::milliseconds(1900));
  EXPECT_TRUE(ui().WaitForScript("document.getElementById('finish_url').textContent !== ''"));
  EXPECT_EQ(Text("finish_name"), "Front door");
  EXPECT_EQ(Text("finish_mac"), kSameMac);
  EXPECT_EQ(Text("finish_url"), "http://192.168.1.20/");
  // Still the factory password: anyone on the network could log in.
  EXPECT_EQ(Eval("document.getElementById('finish_pw_warning').offsetParent !== null"), true);
  EXPECT_TRUE(ui().WaitForScript(
      "document.getElementById('finish_live_status').textContent === 'Live picture'"));
  // The live picture: 640x480 at 15 frames/s, drawn 160x120 at (490, 60).
  const json live = ui().Request({{"cmd", "live"}});
  EXPECT_EQ(live["visible"], true);
  EXPECT_EQ(std::vector<int>({live["x"], live["y"], live["width"], live["height"]}),
            std::vector<int>({490, 60, 160, 120}));
  const int frames = Frames();
  EXPECT_TRUE(ui().WaitForLive(frames + 20, 20000)) << "pictures stopped after " << Frames();
  const auto [area, bottom_row] = LiveAreaLit(Shot("finish"));
  EXPECT_GT(area, 0.9);
  EXPECT_EQ(bottom_row, 1.0);
  EXPECT_TRUE(LoginWorks("192.168.1.20", "kerut"));
  ExpectViewerWorks(home + "/Pictures/");
  // The camera drops off the network without a word, then comes back: the
  // live view says it is connecting again, then draws again.
  ASSERT_EQ(lan_->Ip("same", {"link", "set", "eth0", "down"}), 0);
  EXPECT_TRUE(ui().WaitForScript(
      "document.getElementById('finish_live_status').textContent === 'Connecting\u2026'", 20000));
  ASSERT_EQ(lan_->Ip("same", {"link", "set", "eth0", "up"}), 0);
  EXPECT_TRUE(ui().WaitForScript(
      "document.getElementById('finish_live_status').textContent === 'Live picture'", 20000));
  EXPECT_TRUE(ui().WaitForLive(Frames() + 1, 10000));
  ASSERT_TRUE(ui().ClickTo("finish_next", "Finish2.html"));
  EXPECT_EQ(ui().Request({{"cmd", "live"}})["visible"], false);
  EXPECT_EQ(ui().Request({{"cmd", "live-viewer"}})["open"], false);  // left with the page
  Shot("finish2");
  const int stopped = Frames();
  ASSERT_TRUE(ui().ClickTo("home", "Main.html"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Frames(), stopped);
  std::filesystem::remove_all(home);
}

TEST_F(InstallE2E, SameSubnetWithoutPasswordChange) { InstallSameSubnetKeepingPassword(); }

TEST_F(InstallE2EWayland, SameSubnetWithoutPasswordChange) { InstallSameSubnetKeepingPassword(); }

TEST_F(InstallE2E, SameSubnetWithPasswordChange) {
  ASSERT_NO_FATAL_FAILURE(AddSameCamera({"--reply-delay-ms", "2500"}));  // a slow camera
  Launch();
  ASSERT_NO_FATAL_FAILURE(SearchToList());
  ASSERT_NO_FATAL_FAILURE(ChooseCamera(kSameMac, "IDPassword.html"));
  FillPassword("wrong", false);
  Click("id_pw_next");
  // While the password is proven the window answers and shows its busy
  // state; the page takes no input meanwhile. A window frozen by the proof
  // would answer only once the proof is over, with its message box open.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(ui().PageName(), "IDPassword.html");
  EXPECT_EQ(Text("id_pw_next"), "Checking the password\u2026");
  EXPECT_EQ(Eval("document.getElementById('id_pw_next').disabled"), true);
  EXPECT_EQ(ui().Request({{"cmd", "messagebox"}})["open"], false) << "the window froze";
  Shot("idpassword-busy");
  Click("id_pw_back");  // dropped: the wait is not over
  EXPECT_EQ(TakeBox(), Message("msg_pw_incorrect"));
  EXPECT_EQ(ui().PageName(), "IDPassword.html");
  EXPECT_TRUE(ui().WaitForScript("document.getElementById('id_pw_next').disabled === false"));
  FillPassword("kerut", true, "Short12", "Short12");
  Click("id_pw_next");
  EXPECT_EQ(TakeBox(), Message("msg_pw_format_error"));
  FillPassword("kerut", true, "NewPass99", "NewPass98");
  Click("id_pw_next");
  EXPECT_EQ(TakeBox(), Message("msg_pw_not_match"));
  EXPECT_EQ(ui().PageName(), "IDPassword.html");
  EXPECT_TRUE(LoginWorks("192.168.1.20", "kerut"));  // nothing changed so far
  FillPassword("kerut", true, "NewPass99", "NewPass99");
  Click("id_pw_next");
  ASSERT_TRUE(ui().WaitForPage("Finish.html", 15000)) << ui().PageName();
  EXPECT_TRUE(ui().WaitForScript("document.getElementById('finish_url').textContent !== ''"));
  EXPECT_EQ(Eval("document.getElementById('finish_pw_warning').offsetParent === null"), true);
  EXPECT_TRUE(LoginWorks("192.168.1.20", "NewPass99"));
  EXPECT_FALSE(LoginWorks("192.168.1.20", "kerut"));
}

TEST_F(InstallE2E, OtherSubnetByDhcp) {
  ASSERT_NO_FATAL_FAILURE(AddSameCamera());
  ASSERT_NO_FATAL_FAILURE(AddOtherCamera());
  Launch(kRealSettingsWait);  // the one test that waits the wizard's own 40 s
  ASSERT_NO_FATAL_FAILURE(SearchToList());
  EXPECT_EQ(Rows(), 2);
  EXPECT_NE(Text("camera_list")
                .find("Garden"
                      "TAVO-C1 \u00b7 MAC 00:1A:2B:00:00:02 \u00b7 10.20.30.40"
                      "On another network: its address will be set next"),
            std::string::npos);
  Shot("list-two");
  ASSERT_NO_FATAL_FAILURE(ChooseCamera(kOtherMac, "Network.html"));
  Check("network_dhcp", true);
  Shot("network");
  ASSERT_TRUE(ui().ClickTo("network_next", "IDPassword.html"));
  Check("id_pw_change_pw", false);
  const auto clicked = std::chrono::steady_clock::now();
  Click("id_pw_next");
  ASSERT_TRUE(ui().WaitForPage("Setup.html", 20000)) << ui().PageName();
  Shot("setup");
  ASSERT_TRUE(ui().WaitForPage("Finish.html", kSettingsRoundMs)) << ui().PageName();
  // The camera had the whole 40 s before the search that found it again,
  // which listens for its 5 s window: a later finish page is only slower.
  EXPECT_GE(std::chrono::steady_clock::now() - clicked, std::chrono::seconds(45));
  EXPECT_TRUE(ui().WaitForScript("document.getElementById('finish_url').textContent !== ''"));
  EXPECT_EQ(Text("finish_name"), "Garden");
  EXPECT_EQ(Text("finish_mac"), kOtherMac);
  EXPECT_EQ(Text("finish_url"), "http://192.168.1.21/");
  EXPECT_TRUE(CameraHasAddress("other", "192.168.1.21"));
  EXPECT_TRUE(LoginWorks("192.168.1.21", "kerut"));
}

// A device holds the first two addresses the proposal would take: it moves
// past them, and a typed one of them is questioned with the MAC that answers.
TEST_F(InstallE2E, OtherSubnetByFixedAddressWithPasswordChange) {
  ASSERT_NO_FATAL_FAILURE(AddOtherCamera());
  ASSERT_NO_FATAL_FAILURE(AddSameCamera());
  ASSERT_EQ(lan_->Ip("same", {"link", "set", "eth0", "address", "02:00:00:00:99:01"}), 0);
  for (const char* held : {"192.168.1.2/24", "192.168.1.3/24"})
    ASSERT_EQ(lan_->Ip("same", {"addr", "add", held, "dev", "eth0"}), 0);
  Launch();
  ASSERT_NO_FATAL_FAILURE(OtherCameraToFixedAddressPage());
  EXPECT_TRUE(ui().WaitForScript("document.getElementById('fixedip_ip').value === '192.168.1.4'"));
  for (const char* button : {"Change the address", "Use it anyway"}) {
    Set("fixedip_ip", "192.168.1.3");
    Click("fixedip_next");
    json box = json::object();
    for (int i = 0; i < 100 && !box.value("open", false); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      box = ui().Request({{"cmd", "messagebox"}});
    }
    EXPECT_NE(box.value("text", "").find("192.168.1.3 (MAC 02:00:00:00:99:01)"), std::string::npos)
        << box.dump();
    ASSERT_EQ(ui().Request({{"cmd", "dismiss"}, {"button", button}})["ok"], true);
    if (std::string(button) == "Change the address") {
      EXPECT_EQ(ui().PageName(), "FixedIP.html");
    }
  }
  ASSERT_TRUE(ui().WaitForPage("IDPassword.html", 20000)) << ui().PageName();
  ASSERT_TRUE(ui().ClickTo("id_pw_back", "FixedIP.html"));
  Click("fixedip_auto");
  EXPECT_TRUE(ui().WaitForScript("document.getElementById('fixedip_ip').value === '192.168.1.4'"));
  EXPECT_EQ(Eval("document.getElementById('fixedip_mask').value"), "255.255.255.0");
  EXPECT_EQ(Eval("document.getElementById('fixedip_gw').value"), "192.168.1.1");
  Shot("fixedip");
  const std::vector<std::pair<std::vector<const char*>, const char*>> rejected = {
      {{"127.0.0.5", "255.255.255.0", "192.168.1.1"}, "msg_ip_incorrect"},
      {{"192.168.1.0", "255.255.255.0", "192.168.1.1"}, "msg_mask_incorrect"},
      {{"192.168.1.2", "255.255.255.0", "192.168.1.255"}, "msg_gateway_incorrect"},
  };
  for (const auto& [fields, key] : rejected) {
    Set("fixedip_ip", fields[0]);
    Set("fixedip_mask", fields[1]);
    Set("fixedip_gw", fields[2]);
    Click("fixedip_next");
    EXPECT_EQ(TakeBox(), Message(key)) << fields[0];
    EXPECT_EQ(ui().PageName(), "FixedIP.html");
  }
  Click("fixedip_auto");
  EXPECT_TRUE(ui().WaitForScript("document.getElementById('fixedip_gw').value === '192.168.1.1'"));
  ASSERT_TRUE(ui().ClickTo("fixedip_next", "IDPassword.html"));
  FillPassword("kerut", true, "NewPass99", "NewPass99");
  Click("id_pw_next");
  ASSERT_TRUE(ui().WaitForPage("Setup.html", 20000)) << ui().PageName();
  // The check of .4 on the fixed-address page left the pc resolving it until
  // it gave up: a connection begun meanwhile is refused once.
  EXPECT_TRUE(CameraHasAddress("other", "10.20.30.40") || LoginWorks("192.168.1.4", "kerut") ||
              LoginWorks("192.168.1.4", "kerut"));
  ASSERT_TRUE(ui().WaitForPage("Finish.html", kSettingsRoundMs)) << ui().PageName();
  EXPECT_TRUE(CameraHasAddress("other", "192.168.1.4"));
  EXPECT_TRUE(LoginWorks("192.168.1.4", "NewPass99"));
  EXPECT_FALSE(LoginWorks("192.168.1.4", "kerut"));
}

TEST_F(InstallE2E, UnansweredSettingsFailAndRetrySendsAgain) {
  ASSERT_NO_FATAL_FAILURE(AddOtherCamera({"--discovery-fault", "no-set-address"}));
  Launch();
  ASSERT_NO_FATAL_FAILURE(OtherCameraByDhcpToPasswordPage());
  Click("id_pw_next");
  ExpectFailurePage("msg_set_dhcp_fail");
  Shot("fail-no-answer");
  ASSERT_TRUE(ui().ClickTo("config_fail_retry", "Setup.html"));
  ExpectFailurePage("msg_set_dhcp_fail");  // sent again, unanswered again
  EXPECT_TRUE(CameraHasAddress("other", "10.20.30.40"));
}

TEST_F(InstallE2E, WrongPasswordOverDiscoveryStaysOnPasswordPage) {
  ASSERT_NO_FATAL_FAILURE(AddOtherCamera());
  Launch();
  ASSERT_NO_FATAL_FAILURE(OtherCameraByDhcpToPasswordPage());
  FillPassword("wrong", false);
  Click("id_pw_next");
  EXPECT_EQ(TakeBox(), Message("msg_pw_incorrect"));
  EXPECT_EQ(ui().PageName(), "IDPassword.html");
  EXPECT_TRUE(CameraHasAddress("other", "10.20.30.40"));
}

TEST_F(InstallE2E, CameraBackOnAnotherSubnetIsCodeTwo) {
  ASSERT_NO_FATAL_FAILURE(AddOtherCamera());
  Launch();
  ASSERT_NO_FATAL_FAILURE(OtherCameraToFixedAddressPage());
  Set("fixedip_ip", "10.99.0.5");
  Set("fixedip_mask", "255.255.0.0");
  Set("fixedip_gw", "10.99.0.1");
  ASSERT_TRUE(ui().ClickTo("fixedip_next", "IDPassword.html"));
  Check("id_pw_change_pw", false);
  Click("id_pw_next");
  ExpectFailurePage("msg_not_in_same_subnet");
  Shot("fail-other-subnet");
  EXPECT_TRUE(CameraHasAddress("other", "10.99.0.5"));
  ASSERT_TRUE(ui().ClickTo("config_fail_retry", "Network.html"));
  // The page is named "NetWork.html" there; its page action still restores the fixed choice.
  EXPECT_TRUE(ui().WaitForScript("document.getElementById('network_fixedip').checked === true"));
}

TEST_F(InstallE2E, VanishedCameraIsCodeZeroAndRetrySearchesAgain) {
  ASSERT_NO_FATAL_FAILURE(AddOtherCamera());
  Launch(10000);  // the camera goes away during the wait
  ASSERT_NO_FATAL_FAILURE(OtherCameraByDhcpToPasswordPage());
  Click("id_pw_next");
  ASSERT_TRUE(ui().WaitForPage("Setup.html", 20000)) << ui().PageName();
  ASSERT_TRUE(lan_->SetCameraLink("other", false)) << lan_->Error();
  ExpectFailurePage("msg_rediscovery_fail");
  Shot("fail-vanished");
  // Retry sends one search: only once the switch forwards to the camera again.
  ASSERT_TRUE(lan_->SetCameraLink("other", true)) << lan_->Error();
  ASSERT_TRUE(ui().ClickTo("config_fail_retry", "Setup.html"));
  ASSERT_TRUE(ui().WaitForPage("Finish.html", kSearchMs))
      << ui().PageName() << ": " << Text("fail_message") << "; camera: " << CameraLinks("other");
  EXPECT_TRUE(
      ui().WaitForScript("document.getElementById('finish_url').textContent === "
                         "'http://192.168.1.21/'"));
}

TEST_F(InstallE2E, RefusedNewPasswordAfterRediscoveryIsCodeThree) {
  ASSERT_NO_FATAL_FAILURE(AddOtherCamera());
  Launch(10000);  // the password changes during the wait
  ASSERT_NO_FATAL_FAILURE(OtherCameraByDhcpToPasswordPage());
  FillPassword("kerut", true, "NewPass99", "NewPass99");
  Click("id_pw_next");
  ASSERT_TRUE(ui().WaitForPage("Setup.html", 20000)) << ui().PageName();
  // Someone else changes the password while the wizard waits.
  bool changed = false;
  for (int i = 0; i < 100 && !changed; ++i) {
    NTavoCGI cgi(false);
    cgi.http().SetServer("192.168.1.21", 80, "admin", "kerut");
    changed = cgi.UpdateAdminPassword("Other123") != nullptr;
    if (!changed) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(changed);
  ExpectFailurePage("msg_change_pwd_fail");
  Shot("fail-password");
  EXPECT_TRUE(LoginWorks("192.168.1.21", "Other123"));
  ASSERT_TRUE(ui().ClickTo("config_fail_retry", "IDPassword.html"));
}

TEST_F(InstallE2E, CameraTextIsShownLiterallyAndRunsNoScript) {
  const std::string model = "<img src=x onerror=__m=1>";
  const std::string name = "\"Q' </script><img src=x onerror=__n=1>";
  medium_->SetConfigLine("Model", model);
  ASSERT_NO_FATAL_FAILURE(AddSameCamera({"--model", model, "--name", name}));
  Launch();
  ASSERT_NO_FATAL_FAILURE(SearchToList());
  EXPECT_EQ(Rows(), 1);
  EXPECT_NE(Text("camera_list").find(model), std::string::npos);
  EXPECT_EQ(Eval("document.querySelectorAll('#camera_list img').length"), 0);
  Shot("list-literal");
  ASSERT_NO_FATAL_FAILURE(ChooseCamera(kSameMac, "IDPassword.html"));
  Check("id_pw_change_pw", false);
  Click("id_pw_next");
  ASSERT_TRUE(ui().WaitForPage("Finish.html", 15000)) << ui().PageName();
  EXPECT_TRUE(ui().WaitForScript("document.getElementById('finish_name').textContent !== ''"));
  EXPECT_EQ(Text("finish_name"), name);
  EXPECT_EQ(Eval("document.querySelectorAll('img[src=x]').length"), 0);
  EXPECT_EQ(Eval("typeof window.__m + typeof window.__n"), "undefinedundefined");
  Shot("finish-literal");
}

// The pc's adapter goes away between the search and the settings command,
// and during a later search: each job ends with its end, the wizard shows
// its failure or result page, and nothing crashes.
TEST_F(InstallE2E, AdapterRemovedBeforeTheSettingsAndDuringASearch) {
  ASSERT_NO_FATAL_FAILURE(AddOtherCamera());
  Launch();
  ASSERT_NO_FATAL_FAILURE(OtherCameraByDhcpToPasswordPage());
  ASSERT_EQ(lan_->Ip("pc", {"link", "del", "qa0"}), 0);
  Click("id_pw_next");
  ExpectFailurePage("msg_set_dhcp_fail");
  ASSERT_TRUE(lan_->AddPcAdapter("qa1", "a", "02:00:00:00:0a:02", "192.168.1.11/24"))
      << lan_->Error();
  ASSERT_TRUE(ui().ClickTo("home", "Main.html"));
  ASSERT_TRUE(ui().ClickTo("main_btn_install_camera", "Mac.html"));
  ASSERT_TRUE(ui().ClickTo("mac_next", "Power.html"));
  ASSERT_TRUE(ui().ClickTo("power_next", "Ethernet.html"));
  ASSERT_TRUE(ui().ClickTo("ethernet_next", "WaitSearch.html"));
  ASSERT_EQ(lan_->Ip("pc", {"link", "del", "qa1"}), 0);
  EXPECT_TRUE(ui().WaitForPage("NotFound.html", kSearchMs) || ui().WaitForPage("List.html", 1000))
      << ui().PageName();
}

// Closing the window during the live view, the 2-second pause, the proof of
// a camera that drips its reply and the 40-second wait (where it asks first)
// ends the program at once, cleanly.
TEST_F(InstallE2E, ClosingTheWindowEndsAtOnceWhateverRuns) {
  ASSERT_NO_FATAL_FAILURE(AddSameCamera());
  ASSERT_NO_FATAL_FAILURE(AddOtherCamera());
  ASSERT_TRUE(lan_->AddCamera("drip", "a", "192.168.1.22/24",
                              {"--mac", "00:1a:2b:00:00:03", "--name", "Drip", "--gateway",
                               "192.168.1.1", "--fault", "slow-drip-body"}))
      << lan_->Error();
  const auto close_and_wait = [&](bool asks) {
    ASSERT_EQ(ui().Request({{"cmd", "close"}})["ok"], true);
    if (asks) {
      for (int i = 0; i < 50 && !ui().Request({{"cmd", "messagebox"}}).value("open", false); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const json box = ui().Request({{"cmd", "messagebox"}});
      EXPECT_EQ(box["buttons"], json::parse(R"(["Stay", "Quit"])"));
      EXPECT_NE(box["text"].get<std::string>().find("Quit anyway?"), std::string::npos);
      ASSERT_EQ(ui().Request({{"cmd", "dismiss"}, {"button", "Quit"}})["ok"], true);
    }
    // Ending takes a moment; waiting out the pause or the camera would hang.
    int status = -1;
    EXPECT_TRUE(testsupport::EndsWithoutHanging("closing", std::chrono::milliseconds(500),
                                                [&] { status = ui().WaitForExit(60000); }));
    EXPECT_EQ(status, 0);
  };
  // The live view.
  Launch();
  ASSERT_NO_FATAL_FAILURE(SearchToList());
  ASSERT_NO_FATAL_FAILURE(ChooseCamera(kSameMac, "IDPassword.html"));
  Check("id_pw_change_pw", false);
  Click("id_pw_next");
  ASSERT_TRUE(ui().WaitForPage("Finish.html", 15000)) << ui().PageName();
  EXPECT_TRUE(
      ui().WaitForScript("document.getElementById('finish_live_status').textContent === "
                         "'Live picture'"));
  close_and_wait(false);
  // The 2-second pause after the password.
  Launch();
  ASSERT_NO_FATAL_FAILURE(SearchToList());
  ASSERT_NO_FATAL_FAILURE(ChooseCamera(kSameMac, "IDPassword.html"));
  Check("id_pw_change_pw", false);
  Click("id_pw_next");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  ASSERT_EQ(ui().PageName(), "IDPassword.html");
  close_and_wait(false);
  // A camera that sends its reply a byte every 4 seconds: the password
  // message once the command's deadline has passed, the window answering
  // meanwhile and its password fields emptied; then a close during the proof.
  Launch();
  ASSERT_NO_FATAL_FAILURE(SearchToList());
  ASSERT_NO_FATAL_FAILURE(ChooseCamera(kDripMac, "IDPassword.html"));
  FillPassword("kerut", true, "NewPass99", "NewPass99");
  Click("id_pw_next");
  EXPECT_TRUE(ui().WaitForScript(
      "['id_pw_password', 'id_pw_new_pw', 'id_pw_cf_new_pw'].every(function (id) {"
      "  return document.getElementById(id).value === ''; })"));
  EXPECT_EQ(ui().PageName(), "IDPassword.html");
  EXPECT_EQ(TakeBox(10 * NHttp::kCommandDeadlineMs), Message("msg_pw_incorrect"))
      << "no message within ten times the deadline: hung";
  FillPassword("kerut", false);
  Click("id_pw_next");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  ASSERT_EQ(ui().PageName(), "IDPassword.html");
  close_and_wait(false);
  // The 40-second wait while the camera restarts its network.
  Launch(30000);
  ASSERT_NO_FATAL_FAILURE(OtherCameraByDhcpToPasswordPage());
  Click("id_pw_next");
  ASSERT_TRUE(ui().WaitForPage("Setup.html", 20000)) << ui().PageName();
  close_and_wait(true);
}

// The cameras' network on a second card while the default route leaves
// through the first, with strict reverse-path filtering there: the search
// finds nothing and the page says why and how to fix it.
TEST_F(InstallE2E, NotFoundPageNamesStrictReversePathFilter) {
  ASSERT_TRUE(lan_->AddSegment("b") &&
              lan_->AddPcAdapter("qb0", "b", "02:00:00:00:0b:01", "172.20.0.10/24") &&
              lan_->AddCamera("other", "b", "10.9.8.7/16", {"--gateway", "10.9.0.1"}))
      << lan_->Error();
  ASSERT_EQ(
      testsupport::RunProgram({"ip", "netns", "exec", lan_->Namespace("pc"), "sysctl", "-qw",
                               "net.ipv4.conf.all.rp_filter=0", "net.ipv4.conf.qb0.rp_filter=1"}),
      0);
  Launch();
  ASSERT_TRUE(ui().ClickTo("main_btn_install_camera", "Mac.html"));
  ASSERT_TRUE(ui().ClickTo("mac_next", "Power.html"));
  ASSERT_TRUE(ui().ClickTo("power_next", "Ethernet.html"));
  ASSERT_TRUE(ui().ClickTo("ethernet_next", "WaitSearch.html"));
  ASSERT_TRUE(ui().WaitForPage("NotFound.html", kSearchMs)) << ui().PageName();
  EXPECT_TRUE(
      ui().WaitForScript("document.getElementById('not_found_findings').children.length > 0"));
  const std::string findings = Text("not_found_findings");
  EXPECT_NE(findings.find("Reverse-path filtering is strict on qb0"), std::string::npos)
      << findings;
  EXPECT_NE(findings.find("sudo sysctl -w net.ipv4.conf.qb0.rp_filter=2"), std::string::npos)
      << findings;
  EXPECT_EQ(Eval("document.querySelectorAll('#not_found_findings code').length > 0"), true);
  Shot("not-found-reasons");
}

// The pages shown while a search runs offer no "home" or back button; the
// dialog tests cover those clicks arriving during a search.
// A camera heard twice is one row, and an impostor that claims its MAC from
// an address it does not send from is not heard. A second device with that
// MAC, answering from its own address, leaves one row with a warning, and no
// password goes out until the user agrees. A crowd beyond the list's cap
// leaves the list capped with a line saying how many more answered, and the
// program still ends cleanly.
TEST_F(InstallE2E, RepeatedAnswerIsListedOnce) {
  ASSERT_NO_FATAL_FAILURE(AddSameCamera({"--discovery-fault", "twice"}));
  ASSERT_TRUE(lan_->AddCamera("impostor", "a", "192.168.1.23/24",
                              {"--mac", "00:1a:2b:00:00:01", "--address", "192.168.1.21/24",
                               "--discovery-fault", "impostor"}))
      << lan_->Error();
  Launch();
  ASSERT_TRUE(ui().ClickTo("main_btn_install_camera", "Mac.html"));
  ASSERT_TRUE(ui().ClickTo("mac_next", "Power.html"));
  ASSERT_TRUE(ui().ClickTo("power_next", "Ethernet.html"));
  ASSERT_TRUE(ui().ClickTo("ethernet_next", "WaitSearch.html"));
  Shot("wait-search");
  ASSERT_TRUE(ui().WaitForPage("List.html", kSearchMs)) << ui().PageName();
  EXPECT_EQ(Rows(), 1);
  const std::string warning = "Two devices answer as this camera";
  EXPECT_EQ(Text("camera_list").find(warning), std::string::npos);

  ASSERT_TRUE(lan_->AddCamera("twin", "a", "192.168.1.22/24", {"--mac", "00:1a:2b:00:00:01"}))
      << lan_->Error();
  ASSERT_TRUE(ui().ClickTo("list_retry", "WaitSearch.html"));
  ASSERT_TRUE(ui().WaitForPage("List.html", kSearchMs)) << ui().PageName();
  EXPECT_EQ(Rows(), 1);
  EXPECT_NE(Text("camera_list").find(warning), std::string::npos);
  Shot("list-twin");
  ASSERT_NO_FATAL_FAILURE(ChooseCamera(kSameMac, "IDPassword.html"));
  FillPassword("kerut", false);
  Click("id_pw_next");
  json box = json::object();
  for (int i = 0; i < 100 && !box.value("open", false); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    box = ui().Request({{"cmd", "messagebox"}});
  }
  ASSERT_TRUE(box.value("open", false)) << "no question before the password went out";
  EXPECT_EQ(box["text"].get<std::string>().rfind(warning, 0), 0u) << box.dump();
  ASSERT_EQ(ui().Request({{"cmd", "dismiss"}, {"button", "Don't send"}})["ok"], true);
  EXPECT_EQ(ui().PageName(), "IDPassword.html");

  ASSERT_TRUE(lan_->AddCamera(
      "crowd", "a", "192.168.1.24/24",
      {"--mac", "00:1a:2b:10:00:00", "--count", "1100", "--address", "10.77.0.1/16"}))
      << lan_->Error();
  ASSERT_TRUE(ui().ClickTo("id_pw_back", "List.html"));
  ASSERT_TRUE(ui().ClickTo("list_retry", "WaitSearch.html"));
  ASSERT_TRUE(ui().WaitForPage("List.html", kSearchMs)) << ui().PageName();
  EXPECT_TRUE(
      ui().WaitForScript("document.querySelectorAll('#camera_list input').length === 1024", 60000))
      << Rows();
  EXPECT_NE(Text("list_more").find("more cameras answered"), std::string::npos);
  Shot("list-capped");
  ASSERT_EQ(ui().Request({{"cmd", "close"}})["ok"], true);
  EXPECT_EQ(ui().WaitForExit(60000), 0) << "hung, or did not end cleanly";
}

}  // namespace
