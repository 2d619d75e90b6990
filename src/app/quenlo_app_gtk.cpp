#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/app_paths.h"
#include "app/automation_commands_webkit.h"
#include "app/automation_server_linux.h"
#include "app/live_view_window_gtk.h"
#include "app/live_window_gtk.h"
#include "app/message_box_gtk.h"
#include "app/page_host_webkit.h"
#include "app/page_text.h"
#include "app/quenlo_app.h"
#include "app/quenlo_dlg.h"
#include "app/quenlo_window_gtk.h"
#include "app/renderer_fallback_gtk.h"
#include "app/shell_gtk.h"
#include "app/timers_gtk.h"
#include "discovery/neighbour_probe.h"

namespace {

constexpr int kCancelCode = 2;
constexpr int kNoAutomationStatus = 1;

const char* AutomationPath() {
  const char* path = std::getenv("QUENLO_AUTOMATION");
  return path && *path ? path : nullptr;
}

// A program that drives the wizard may shorten the wait for a camera that
// restarts its network (QUENLO_SETTINGS_WAIT_MS, 0 to 40000): its simulated
// cameras restart at once. Honoured only with automation on, so that no
// setting of a person's desktop can cut the real wait short.
void ApplyAutomationSettingsWait(CQuenloDlg& dlg) {
  const char* text = std::getenv("QUENLO_SETTINGS_WAIT_MS");
  if (!text || !*text) return;
  char* end = nullptr;
  const long ms = std::strtol(text, &end, 10);
  if (*end == '\0' && ms >= 0 && ms <= CQuenloDlg::kSettingsWaitMs)
    dlg.SetSettingsWait(static_cast<int>(ms));
}

}  // namespace

int CQuenloApp::InitInstance(int argc, char** argv) {
  // The desktop ties the window to its menu entry and icon by this name.
  g_set_prgname(QuenloWindowGtk::kAppId);
  RendererFallbackWatch renderer_watch(argc, argv);  // before gtk_init edits argv
  gtk_init(&argc, &argv);
  const char* automation_path = AutomationPath();
  const std::string exe_path = CurrentExecutablePath();
  PageHostWebKit pages(HtmlFolderFromBase(BaseFolderFromExecutable(exe_path)));
  renderer_watch.Watch(pages.Widget());
  QuenloWindowGtk window(pages.Widget(), automation_path != nullptr);
  const std::unique_ptr<NeighbourProbe> neighbours = MakeLinuxNeighbourProbe(SystemClock());
  LiveViewWindowGtk viewer(window.LiveWindow().Target(), window.Toplevel());
  LiveWindowWithViewer live(window.LiveWindow(), viewer);
  CQuenloDlg dlg(DialogServices{&window, &pages, &window.MessageBoxes(), &window.Timers(),
                                &window.Shell(), &live, &SystemClock(), neighbours.get()},
                 exe_path);
  pages.SetEvents(&dlg);
  // A web link of a page opens in the browser, as the menu's web targets do.
  pages.SetRefusedNavigationHandler([&window](const std::string& uri, bool web_link) {
    if (web_link) window.Shell().Open(uri);
  });
  // A click while a box is open is dropped, as on a window that takes no input.
  pages.SetClickGate([&window] { return window.MessageBoxes().Modal().open; });
  window.Timers().SetHandler([&dlg](int id) { dlg.OnTimer(id); });
  window.SetSysCommandHandler([&dlg](int id) { dlg.OnSysCommand(id); });
  window.SetCloseHandler([&window, &dlg] {
    if (dlg.OnCloseRequest()) window.PostQuit(kCancelCode);
  });
  window.MessageBoxes().SetFocusHandler(
      [&pages](const std::string& field) { pages.CallScript("QuenloFocus", {field}); });
  window.LiveWindow().SetStatusHandler(
      [&pages](bool live) { pages.CallScript("FinishLiveStatus", {live ? "1" : "0"}); });

  viewer.OpenFrom(window.LiveWindow().Widget());
  viewer.SetMuteHandler([&dlg](bool muted) { dlg.SetLiveMuted(muted); });
  viewer.SetCameraNameSource([&dlg] {
    const std::optional<CameraRecord> camera =
        dlg.State().m_cameras.At(dlg.State().m_selectedIndex);
    return camera ? CameraTitle(*camera) : std::string();
  });

  AutomationCommands commands(window, pages);
  commands.SetLiveViewer(&viewer);
  std::unique_ptr<AutomationServer> server;
  if (automation_path) {
    ApplyAutomationSettingsWait(dlg);
    server = std::make_unique<AutomationServer>(
        automation_path, [&commands](const std::string& line, AutomationServer::Reply reply) {
          commands.Post(line, std::move(reply));
        });
    // Whoever set QUENLO_AUTOMATION drives the wizard: without the socket
    // it would only wait for them, so the program ends at once instead.
    std::string error;
    if (!server->Listen(&error)) {
      std::fprintf(stderr, "quenlo-setup: no automation socket at %s: %s\n", automation_path,
                   error.c_str());
      return kNoAutomationStatus;
    }
    server->Start();
  }

  dlg.OnInitDialog();
  window.Run();
  window.BeginClosing();
  server.reset();
  dlg.OnDestroy();
  return 0;
}
