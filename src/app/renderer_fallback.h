// Whether the wizard starts itself again with WebKit's other renderer: its
// DMA-BUF renderer leaves the window blank with some graphics drivers, and
// the choice of renderer is read once, before the web process starts.
#pragma once

#include <optional>
#include <string>

// Set on the restarted process so that it never restarts again.
inline constexpr const char* kRendererFallbackMarker = "QUENLO_RENDERER_FELL_BACK";
inline constexpr const char* kDisableDmabufVariable = "WEBKIT_DISABLE_DMABUF_RENDERER";

// The decision for one run of the program. Only the UI thread uses it.
class RendererFallback {
 public:
  // What a restart needs: the line for standard error and the variable to set.
  struct Restart {
    std::string message;
    std::string variable;
    std::string value;
  };

  // `user_set_variable`: the person chose the renderer themself (the
  // variable is set, and not by an earlier run). `fell_back_before`: this
  // run is the restarted one.
  RendererFallback(bool user_set_variable, bool fell_back_before);
  // From the process environment; removes the marker from it, so that the
  // programs the wizard starts do not inherit it.
  static RendererFallback FromEnvironment();

  // Whether the first page's painting is worth watching at all.
  bool Watching() const { return watching_; }
  // Whether this run is the restarted one.
  bool Restarted() const { return restarted_; }
  // The verdict on the first page: a restart once when it was not painted;
  // nothing when it was, when nothing is watched, or after the first verdict.
  std::optional<Restart> OnFirstPage(bool painted);

 private:
  bool watching_;
  bool restarted_;
};
