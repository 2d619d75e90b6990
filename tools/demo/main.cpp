// quenlo-demo: the demo without a display. Started inside the virtual LAN of
// scripts/vlan.sh (it and the wizard share the pc's network namespace), it
// starts its own Xvfb and the built wizard with its automation socket, and
// installs both simulated cameras as a person would: "Front door" on the pc's
// subnet with a new password, then, started over from the first page,
// "Garden" on another subnet by DHCP. A screenshot of every page passed and a
// summary go to the output folder.
//
//   quenlo-demo [--medium DIR] [--out DIR]
//
// Exits 0 when both installations went through, 1 (with the reason on
// stderr and in the summary) when not, 2 on wrong use.
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demo_walk.h"
#include "net/tavo_cgi.h"
#include "support/ui_session.h"

namespace fs = std::filesystem;

namespace {

constexpr char kFactoryPassword[] = "kerut";
constexpr char kNewPassword[] = "NewPass99";
constexpr int kSearchMs = 20000;
// The 40-second wait, the camera's network restart and the search that finds it again, with room.
constexpr int kSettingsRoundMs = 90000;

struct Options {
  std::string medium = QUENLO_BUILD_DIR "/medium";
  std::string out = "demo-output";
};

// One installation: what it was, and what the wizard showed at its end.
struct WalkRecord {
  std::string title;
  std::string mac;
  std::string address;  // where the camera must answer afterwards
  std::string password;
  std::vector<std::string> pages{};
  FinishInfo finish{};
  double seconds = 0;
  bool done = false;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--medium") {
      options->medium = argv[i + 1];
    } else if (name == "--out") {
      options->out = argv[i + 1];
    } else {
      return false;
    }
  }
  return argc % 2 == 1;
}

// The wizard searches by broadcast on every adapter it has: it must only
// ever have the virtual LAN's, so the demo refuses any namespace but its pc.
bool InVirtualLanPc() {
  struct stat self;
  if (::stat("/proc/self/ns/net", &self) != 0) return false;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/run/netns", ec)) {
    const std::string name = entry.path().filename().string();
    struct stat other;
    if (name.rfind("qd", 0) == 0 && name.ends_with("-pc") &&
        ::stat(entry.path().c_str(), &other) == 0 && other.st_dev == self.st_dev &&
        other.st_ino == self.st_ino) {
      return true;
    }
  }
  return false;
}

bool LoginWorks(const std::string& address, const char* password) {
  NTavoCGI cgi(false);
  cgi.http().SetServer(address.c_str(), 80, "admin", password);
  return cgi.QueryIPAddress() != nullptr;
}

// The finish page's data and the camera itself must agree with the walk.
bool CheckCamera(DemoWalk& walk, const WalkRecord& record) {
  if (record.finish.mac != record.mac ||
      record.finish.url.find(record.address) == std::string::npos) {
    return walk.Fail("the finish page shows " + record.finish.mac + " at " + record.finish.url +
                     ", not " + record.mac + " at " + record.address);
  }
  if (!LoginWorks(record.address, record.password.c_str())) {
    return walk.Fail("the camera at " + record.address + " refuses the password " +
                     record.password);
  }
  if (record.password != kFactoryPassword && LoginWorks(record.address, kFactoryPassword)) {
    return walk.Fail("the camera at " + record.address + " still takes the factory password");
  }
  return true;
}

bool SearchToList(DemoWalk& walk) {
  return walk.Reach("Main.html") && walk.Shot() &&
         walk.ClickTo("main_btn_install_camera", "Mac.html") && walk.Shot() &&
         walk.ClickTo("mac_next", "Power.html") && walk.Shot() &&
         walk.ClickTo("power_next", "Ethernet.html") && walk.Shot() &&
         walk.ClickTo("ethernet_next", "List.html", kSearchMs);
}

bool EnterPassword(DemoWalk& walk, const std::string& new_password) {
  const bool change = !new_password.empty();
  return walk.Set("id_pw_password", kFactoryPassword) && walk.Check("id_pw_change_pw", change) &&
         (!change ||
          (walk.Set("id_pw_new_pw", new_password) && walk.Set("id_pw_cf_new_pw", new_password))) &&
         walk.Shot();
}

bool WalkSameSubnet(DemoWalk& walk, WalkRecord* record) {
  return SearchToList(walk) && walk.ChooseCamera(record->mac) && walk.Shot() &&
         walk.ClickTo("list_next", "IDPassword.html") && EnterPassword(walk, kNewPassword) &&
         walk.ClickTo("id_pw_next", "Finish.html") && walk.ReadFinish(&record->finish);
}

bool WalkOtherSubnet(DemoWalk& walk, WalkRecord* record) {
  if (!SearchToList(walk) || !walk.ChooseCamera(record->mac) || !walk.Shot() ||
      !walk.ClickTo("list_next", "Network.html") || !walk.Check("network_dhcp", true) ||
      !walk.Shot() || !walk.ClickTo("network_next", "IDPassword.html") ||
      !EnterPassword(walk, "")) {
    return false;
  }
  std::printf(
      "  The camera now takes an address by DHCP and restarts its network: the wizard waits\n"
      "  40 seconds, then searches for it again.\n");
  std::fflush(stdout);
  return walk.ClickTo("id_pw_next", "Finish.html", kSettingsRoundMs) &&
         walk.ReadFinish(&record->finish);
}

bool RunWalk(DemoWalk& walk, WalkRecord* record, bool (*steps)(DemoWalk&, WalkRecord*)) {
  std::printf("quenlo-demo: %s\n", record->title.c_str());
  std::fflush(stdout);
  const bool ok = steps(walk, record) && CheckCamera(walk, *record) &&
                  walk.ClickTo("finish_next", "Finish2.html") && walk.Shot();
  record->pages = walk.Pages();
  record->seconds = walk.Seconds();
  record->done = ok;
  return ok;
}

std::string Now() {
  char text[64];
  const std::time_t now = std::time(nullptr);
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  return text;
}

void WriteWalk(std::ofstream& out, int number, const WalkRecord& record) {
  out << "\nWalk " << number << ": " << record.title << "\n";
  if (record.pages.empty()) {
    out << "  not started\n";
    return;
  }
  out << "  Time:  " << static_cast<int>(record.seconds + 0.5) << " s"
      << (record.done ? "" : " (stopped)") << "\n  Pages:";
  for (size_t i = 0; i < record.pages.size(); ++i) out << (i ? " > " : " ") << record.pages[i];
  out << "\n";
  if (record.finish.url.empty()) return;
  out << "  Finish page: name \"" << record.finish.name << "\", MAC " << record.finish.mac
      << ", web page " << record.finish.url << ", " << record.finish.frames
      << " live pictures drawn in 2 s\n";
  if (record.done) {
    out << "  Camera afterwards: answers at " << record.address << " to the password "
        << record.password << "\n";
  }
}

void WriteSummary(const Options& options, const std::vector<WalkRecord>& walks,
                  const DemoWalk& walk, double seconds) {
  std::ofstream out(options.out + "/summary.txt", std::ios::trunc);
  out << "Quenlo Setup demo on a virtual display, " << Now() << "\n"
      << "Result: " << (walk.Error().empty() ? "success" : "FAILED: " + walk.Error()) << "\n"
      << "Time taken: " << static_cast<int>(seconds + 0.5) << " s\n";
  for (size_t i = 0; i < walks.size(); ++i) WriteWalk(out, static_cast<int>(i + 1), walks[i]);
  out << "\nScreenshots: " << walk.Screenshots()
      << " PNG files in this folder, numbered in the order the pages came.\n";
}

std::vector<WalkRecord> PlannedWalks() {
  return {
      {.title =
           "\"Front door\" on the pc's subnet, password changed to " + std::string(kNewPassword),
       .mac = "001A2B000001",
       .address = "192.168.1.20",
       .password = kNewPassword},
      {.title = "started over: \"Garden\" on another subnet, address by DHCP",
       .mac = "001A2B000002",
       .address = "192.168.1.21",
       .password = kFactoryPassword},
  };
}

// Both walks, then the wizard closed the way a person closes it.
bool RunDemo(UiSession& ui, DemoWalk& walk, std::vector<WalkRecord>& walks) {
  walk.Begin("front-door");
  if (!RunWalk(walk, &walks[0], WalkSameSubnet) || !walk.Click("home")) return false;
  walk.Begin("garden");
  if (!RunWalk(walk, &walks[1], WalkOtherSubnet) || !walk.Click("exit")) return false;
  const int status = ui.WaitForExit(15000);
  return status == 0 ||
         walk.Fail("the wizard did not close cleanly (status " + std::to_string(status) + ")");
}

int Run(const Options& options) {
  const auto start = std::chrono::steady_clock::now();
  XvfbDisplay display;
  if (!display.Ok()) {
    std::fprintf(stderr, "quenlo-demo: Xvfb did not start (package xvfb)\n");
    return 1;
  }
  std::printf("quenlo-demo: virtual display %s, wizard %sbin/quenlo-setup\n",
              display.Name().c_str(), options.medium.c_str());
  UiSession ui(options.medium, display.Name());
  DemoWalk walk(ui, options.out);
  std::vector<WalkRecord> walks = PlannedWalks();
  if (!ui.Connected()) {
    walk.Fail("the wizard did not open its automation socket");
  } else {
    RunDemo(ui, walk, walks);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  WriteSummary(options, walks, walk, seconds);
  if (!walk.Error().empty()) {
    std::fprintf(stderr, "quenlo-demo: FAILED: %s\n", walk.Error().c_str());
    return 1;
  }
  std::printf(
      "quenlo-demo: both cameras installed in %.0f s; %d screenshots and summary.txt in %s\n",
      seconds, walk.Screenshots(), options.out.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: quenlo-demo [--medium DIR] [--out DIR]\n");
    return 2;
  }
  if (!InVirtualLanPc()) {
    std::fprintf(stderr,
                 "quenlo-demo: runs only inside the virtual LAN: scripts/vlan.sh -- %s ...\n",
                 argv[0]);
    return 2;
  }
  std::error_code ec;
  fs::create_directories(options.out, ec);
  options.out = fs::absolute(options.out, ec).string();  // the wizard writes the screenshots
  options.medium = fs::absolute(options.medium, ec).string() + "/";
  if (!fs::exists(options.medium + "bin/quenlo-setup")) {
    std::fprintf(stderr, "quenlo-demo: no wizard at %sbin/quenlo-setup\n", options.medium.c_str());
    return 2;
  }
  return Run(options);
}
