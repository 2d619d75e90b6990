#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/app_paths.h"
#include "app/automation_commands_webkit.h"
#include "app/automation_server_linux.h"
#include "app/page_host_webkit.h"
#include "app/quenlo_app.h"
#include "app/quenlo_dlg.h"
#include "app/quenlo_window_gtk.h"
#include "app/renderer_fallback_gtk.h"

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
    dlg.m_settingsWaitMs = static_cast<int>(ms);
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
  CQuenloDlg dlg(
      DialogServices{&window, &pages, &window, &window, &window, &window, &SystemClock()},
      exe_path);
  pages.SetEvents(&dlg);
  // A web link of a page opens in the browser, as the menu's web targets do.
  pages.SetRefusedNavigationHandler([&window](const std::string& uri, bool web_link) {
    if (web_link) window.Open(uri);
  });
  // Nothing reaches the dialog while a box is open or inside its waits: a
  // click then is dropped, as on a window that takes no input, and a
  // completed page is handled once the wait is over.
  pages.SetClickGate([&window] { return window.Modal().open || window.InWait(); });
  pages.SetEventDispatcher(
      [&window](std::function<void()> fn) { window.RunOrDefer(std::move(fn)); });
  window.SetHandler([&dlg](int id) { dlg.OnTimer(id); });
  window.SetSysCommandHandler([&dlg](int id) { dlg.OnSysCommand(id); });
  window.SetCloseHandler([&window, &dlg] {
    if (dlg.OnCloseRequest()) window.PostQuit(kCancelCode);
  });
  window.SetFocusHandler(
      [&pages](const std::string& field) { pages.CallScript("QuenloFocus", {field}); });
  window.SetLiveStatusHandler(
      [&pages](bool live) { pages.CallScript("FinishLiveStatus", {live ? "1" : "0"}); });

  AutomationCommands commands(window, pages);
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
