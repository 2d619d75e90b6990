// Watches the first page of the web view and starts the program again with
// WebKit's other renderer when that page was never painted (a blank window
// on some graphics drivers). UI thread only.
#pragma once

#include <string>
#include <vector>

#include "app/renderer_fallback.h"

typedef struct _GtkWidget GtkWidget;

class RendererFallbackWatch {
 public:
  // Before gtk_init, which takes its own options out of argv: keeps the
  // arguments for the restart and reads the environment. In the restarted
  // run, has the children of the first run reaped as they end.
  RendererFallbackWatch(int argc, char** argv);
  ~RendererFallbackWatch();
  RendererFallbackWatch(const RendererFallbackWatch&) = delete;
  RendererFallbackWatch& operator=(const RendererFallbackWatch&) = delete;

  // Watches the WebKitWebView `web_view`, which outlives this watch's use of it.
  void Watch(GtkWidget* web_view);

  // Called from the view's signals and the timer.
  void OnFirstPageLoaded();
  void OnProbe();
  void OnVerdict(bool painted);

 private:
  bool Painted() const;
  void Stop();

  RendererFallback decision_;
  std::vector<std::string> arguments_;
  // Automation only: a test makes every page count as not painted.
  bool simulate_unpainted_ = false;
  GtkWidget* view_ = nullptr;
  unsigned timer_ = 0;
  long long deadline_us_ = 0;
};
