// The fall-back to WebKit's other renderer, in the real program: a switch
// of the automation makes its first page count as never painted, as on a
// graphics driver that leaves the DMA-BUF renderer's window blank.
#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "support/lan_wizard.h"

namespace {

constexpr const char* kRestartLine = "starting again with WEBKIT_DISABLE_DMABUF_RENDERER=1";
// The wizard gives its first page 8 s to paint.
constexpr int kPaintWaitMs = 8000;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The children of `pid` with their states from /proc ('Z': ended, and not
// waited for).
std::map<pid_t, char> Children(pid_t pid) {
  std::map<pid_t, char> children;
  DIR* proc = opendir("/proc");
  if (!proc) return children;
  while (const dirent* entry = readdir(proc)) {
    const long child = std::atol(entry->d_name);
    if (child <= 0) continue;
    const std::string line = ReadText(std::string("/proc/") + entry->d_name + "/stat");
    const size_t name_end = line.rfind(')');
    if (name_end == std::string::npos) continue;
    std::istringstream rest(line.substr(name_end + 1));
    char state = 0;
    long parent = 0;
    if (rest >> state >> parent && parent == pid) children[static_cast<pid_t>(child)] = state;
  }
  closedir(proc);
  return children;
}

class RendererFallbackUi : public LanWizardTest {
 protected:
  void TearDown() override {
    LanWizardTest::TearDown();
    std::error_code ec;
    std::filesystem::remove(log_, ec);
  }
  std::string log_ = std::filesystem::temp_directory_path() /
                     ("quenlo-stderr-" + std::to_string(::getpid()) + ".log");
};

TEST_F(RendererFallbackUi, UnpaintedFirstPageRestartsOnceWithTheOtherRenderer) {
  const std::string medium = std::string(QUENLO_BUILD_DIR) + "/medium/";
  Launch(medium, kShortSettingsWaitMs, {{"QUENLO_SIMULATE_UNPAINTED", "1"}}, log_);
  const pid_t pid = ui().Pid();
  bool said = false;
  std::map<pid_t, char> first_children;  // the first run's web processes
  for (int waited = 0; !said && waited < 10 * kPaintWaitMs; waited += 100) {
    const std::map<pid_t, char> children = Children(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    said = Count(ReadText(log_), kRestartLine) > 0;
    if (!said) first_children = children;
  }
  ASSERT_TRUE(said) << "hung: no restart; stderr: " << ReadText(log_);
  EXPECT_FALSE(first_children.empty()) << "the first run had no web process";
  // The same process, started anew with the other renderer.
  ASSERT_TRUE(ui().Reconnect()) << "hung: no answer after the restart";
  ASSERT_TRUE(ui().WaitForPage("Main.html")) << ui().PageName();
  const std::string environ = ReadText("/proc/" + std::to_string(pid) + "/environ");
  EXPECT_NE(environ.find(std::string("WEBKIT_DISABLE_DMABUF_RENDERER=1") + '\0'),
            std::string::npos);
  EXPECT_EQ(ReadText("/proc/" + std::to_string(pid) + "/comm"), "quenlo-setup\n");
  EXPECT_TRUE(ui().ClickTo("main_btn_install_camera", "Mac.html"));
  // The restarted run keeps its blank-looking page: no second restart once
  // its own wait would have passed.
  std::this_thread::sleep_for(std::chrono::milliseconds(kPaintWaitMs + kPaintWaitMs / 2));
  EXPECT_EQ(ui().PageName(), "Mac.html");
  EXPECT_EQ(Count(ReadText(log_), kRestartLine), 1) << ReadText(log_);
  // The first run's web processes end with it and are reaped: none is left
  // a zombie of the restarted run (they may take a moment to notice).
  const auto leftovers = [&] {
    std::string left;
    for (const auto& [child, state] : Children(pid)) {
      if (state == 'Z' || first_children.count(child))
        left += std::to_string(child) + ":" + state + " ";
    }
    return left;
  };
  std::string left = leftovers();
  for (int i = 0; i < 100 && !left.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    left = leftovers();
  }
  EXPECT_EQ(left, "") << "children of the first run still there";
}

}  // namespace
