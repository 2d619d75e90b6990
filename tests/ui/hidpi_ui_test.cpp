// The wizard on a display of scale 2 (GDK_SCALE=2), as on a high-density
// screen: a whole installation inside a virtual LAN, looked at through
// screenshots of the window.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/lan_wizard.h"
#include "support/page_layout.h"

namespace {

using nlohmann::json;

const std::string kBuiltMedium = std::string(QUENLO_BUILD_DIR) + "/medium/";
constexpr int kScale = 2;

struct PixbufFree {
  void operator()(GdkPixbuf* p) const { g_object_unref(p); }
};
using Pixbuf = std::unique_ptr<GdkPixbuf, PixbufFree>;

class HiDpiUi : public LanWizardTest {
 protected:
  HiDpiUi() {
    screen_ = "2048x1536x24";  // room for the window at twice its size
    environment_ = {{"GDK_SCALE", std::to_string(kScale)}};
  }

  // A screenshot of the window now, read back.
  Pixbuf Shot(const std::string& name) {
    const std::string path = std::string(QUENLO_BUILD_DIR) + "/test-artifacts/hidpi-" + name;
    EXPECT_EQ(ui().Request({{"cmd", "screenshot"}, {"path", path}})["ok"], true) << name;
    return Pixbuf(gdk_pixbuf_new_from_file(path.c_str(), nullptr));
  }
  // The page keeps its main button and footer in view, and its screenshot
  // holds the header bar and the whole client area at device pixels.
  void ExpectWholePage(const std::string& page) {
    const json layout = Eval(kPageLayoutScript);
    ASSERT_TRUE(layout.is_array()) << page;
    EXPECT_EQ(layout[0], true) << page << ": the main button lies outside the view";
    EXPECT_EQ(layout[1], true) << page << ": the footer is cut";
    const json window = ui().Request({{"cmd", "window"}});
    Pixbuf shot = Shot(page + ".png");
    ASSERT_TRUE(shot) << page;
    EXPECT_EQ(gdk_pixbuf_get_width(shot.get()), kScale * window["width"].get<int>()) << page;
    EXPECT_GT(gdk_pixbuf_get_height(shot.get()), kScale * window["height"].get<int>()) << page;
  }
  // The share of the 2 x 2 device-pixel blocks of the live area (`live`, as
  // the automation's "live" gives it) whose pixels differ: none when the
  // picture is drawn at logical pixels and doubled.
  static double UnevenBlocksInLiveArea(GdkPixbuf* shot, const json& live, int client_height) {
    const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
    const guchar* data = gdk_pixbuf_get_pixels(shot);
    const int left = kScale * live["x"].get<int>(), width = kScale * live["width"].get<int>();
    const int top = gdk_pixbuf_get_height(shot) - kScale * (client_height - live["y"].get<int>());
    const int height = kScale * live["height"].get<int>();
    if (top < 0 || top + height > gdk_pixbuf_get_height(shot) || left < 0 ||
        left + width > gdk_pixbuf_get_width(shot))
      return 0;  // the screenshot does not hold the live area at device pixels
    const guchar* area = data + top * stride + left * channels;
    auto differs = [&](int x, int y, int dx, int dy) {
      const guchar* a = area + y * stride + x * channels;
      const guchar* b = area + (y + dy) * stride + (x + dx) * channels;
      return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) > 40;
    };
    int uneven = 0, blocks = 0;
    for (int y = 0; y < height; y += 2) {
      for (int x = 0; x < width; x += 2, ++blocks)
        uneven += differs(x, y, 1, 0) || differs(x, y, 0, 1) || differs(x, y, 1, 1);
    }
    return blocks ? static_cast<double>(uneven) / blocks : 0;
  }
};

TEST_F(HiDpiUi, InstallationIsDrawnAtDevicePixels) {
  ASSERT_TRUE(lan_->AddCamera(
      "same", "a", "192.168.1.20/24",
      {"--mac", "00:1a:2b:00:00:01", "--name", "Front door", "--gateway", "192.168.1.1"}))
      << lan_->Error();
  Launch(kBuiltMedium);
  std::filesystem::create_directories(std::string(QUENLO_BUILD_DIR) + "/test-artifacts");
  const std::pair<const char*, const char*> steps[] = {{"main_btn_install_camera", "Mac.html"},
                                                       {"mac_next", "Power.html"},
                                                       {"power_next", "Ethernet.html"}};
  for (const auto& [button, page] : steps) {
    ASSERT_TRUE(ui().ClickTo(button, page)) << ui().PageName();
    ExpectWholePage(page);
  }
  ASSERT_TRUE(ui().ClickTo("ethernet_next", "WaitSearch.html"));
  ASSERT_TRUE(ui().WaitForPage("List.html", kSearchMs)) << ui().PageName();
  ExpectWholePage("List.html");
  ASSERT_TRUE(ui().ClickTo("list_next", "IDPassword.html"));
  ExpectWholePage("IDPassword.html");
  Do({{"cmd", "check"}, {"id", "id_pw_change_pw"}, {"checked", false}});
  Do({{"cmd", "click"}, {"id", "id_pw_next"}});
  ASSERT_TRUE(ui().WaitForPage("Finish.html", 15000)) << ui().PageName();
  EXPECT_TRUE(ui().WaitForScript(
      "document.getElementById('finish_live_status').textContent === 'Live picture'", 20000));
  const int frames = ui().Request({{"cmd", "live"}}).value("frames", 0);
  EXPECT_TRUE(ui().WaitForLive(frames + 5, 20000)) << "the pictures stopped";
  ExpectWholePage("Finish.html");
  // The 640 x 480 picture in the 160 x 120 live area keeps 320 x 240 pixels
  // of its own: its fine columns alternate from one device pixel to the next.
  Pixbuf shot = Shot("Finish-live.png");
  ASSERT_TRUE(shot);
  const int client_height = ui().Request({{"cmd", "window"}})["height"];
  const json live = ui().Request({{"cmd", "live"}});
  ASSERT_EQ(live["visible"], true);
  EXPECT_GT(UnevenBlocksInLiveArea(shot.get(), live, client_height), 0.2);
  // Clicked, the picture opens the viewer at the picture's own size in device
  // pixels: 640 x 480 of them in an area of 320 x 240 window pixels.
  Do({{"cmd", "live-open"}});
  json viewer;
  for (int waited = 0;; waited += 100) {
    viewer = ui().Request({{"cmd", "live-viewer"}});
    if (viewer.value("frames", 0) >= 3 && viewer.value("width", 0) == 320) break;
    ASSERT_LT(waited, 20000) << "hung: " << viewer.dump();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ui().WaitForLive(ui().Request({{"cmd", "live"}}).value("frames", 0) + 2, 20000);
  viewer = ui().Request({{"cmd", "live-viewer"}});
  EXPECT_EQ(std::vector<int>(
                {viewer["width"], viewer["height"], viewer["drawn_width"], viewer["drawn_height"]}),
            std::vector<int>({320, 240, 640, 480}));
}

}  // namespace
