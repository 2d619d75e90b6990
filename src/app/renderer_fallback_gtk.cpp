#include "app/renderer_fallback_gtk.h"

#include <dirent.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/app_paths.h"

namespace {

// A local page paints in well under a second; this leaves room for a busy machine.
constexpr int kPaintWaitMs = 8000;
constexpr int kProbeMs = 200;

void OnLoadChangedSignal(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  if (event == WEBKIT_LOAD_FINISHED) static_cast<RendererFallbackWatch*>(data)->OnFirstPageLoaded();
}

// A web process that ended before its first page shows nothing either.
void OnTerminatedSignal(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
  static_cast<RendererFallbackWatch*>(data)->OnVerdict(false);
}

gboolean OnProbeTimer(gpointer data) {
  static_cast<RendererFallbackWatch*>(data)->OnProbe();
  return G_SOURCE_CONTINUE;
}

bool Uniform(cairo_surface_t* image) {
  cairo_surface_flush(image);
  const int width = cairo_image_surface_get_width(image);
  const int height = cairo_image_surface_get_height(image);
  const int stride = cairo_image_surface_get_stride(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (std::memcmp(data + y * stride + 4 * x, data, 4) != 0) return false;
  return true;
}

// The processes whose parent is this one, from /proc: the state line reads
// "pid (name) state ppid ...", the name possibly holding spaces or ')'.
std::vector<pid_t> ChildProcesses() {
  std::vector<pid_t> children;
  DIR* proc = opendir("/proc");
  if (!proc) return children;
  const pid_t self = getpid();
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::stringstream text;
    text << stat.rdbuf();
    const std::string line = text.str();
    const size_t name_end = line.rfind(')');
    if (name_end == std::string::npos) continue;
    std::istringstream rest(line.substr(name_end + 1));
    char state = 0;
    long parent = 0;
    if (rest >> state >> parent && parent == self) children.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return children;
}

void OnInheritedChildEnded(GPid pid, gint, gpointer) { g_spawn_close_pid(pid); }

// The first run's web processes are still children of this process, which
// execv kept: they end once they find their peer gone, and nothing of this
// run waits for them. A watch of GLib's for each reaps it; by pid, so that
// no child that another part of the program waits for is taken from it.
// Before gtk_init: this run has started no child yet.
void ReapInheritedChildren() {
  for (const pid_t pid : ChildProcesses()) g_child_watch_add(pid, OnInheritedChildEnded, nullptr);
}

}  // namespace

RendererFallbackWatch::RendererFallbackWatch(int argc, char** argv)
    : decision_(RendererFallback::FromEnvironment()), arguments_(argv, argv + argc) {
  const char* automation = std::getenv("QUENLO_AUTOMATION");
  const char* simulate = std::getenv("QUENLO_SIMULATE_UNPAINTED");
  simulate_unpainted_ = automation && *automation && simulate && std::strcmp(simulate, "1") == 0;
  if (decision_.Restarted()) ReapInheritedChildren();
}

RendererFallbackWatch::~RendererFallbackWatch() { Stop(); }

void RendererFallbackWatch::Watch(GtkWidget* web_view) {
  if (!decision_.Watching()) return;
  view_ = GTK_WIDGET(g_object_ref(web_view));  // the window may go first
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChangedSignal), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnTerminatedSignal), this);
}

void RendererFallbackWatch::OnFirstPageLoaded() {
  if (timer_ != 0) return;
  deadline_us_ = g_get_monotonic_time() + kPaintWaitMs * 1000LL;
  timer_ = g_timeout_add(kProbeMs, OnProbeTimer, this);
}

void RendererFallbackWatch::OnProbe() {
  if (Painted()) {
    OnVerdict(true);
  } else if (g_get_monotonic_time() >= deadline_us_) {
    OnVerdict(false);
  }
}

// What the view draws for the window, drawn once more into memory: a blank
// view draws one colour; a page draws at least its text.
bool RendererFallbackWatch::Painted() const {
  if (simulate_unpainted_ || !gtk_widget_get_mapped(view_)) return false;
  const int width = gtk_widget_get_allocated_width(view_);
  const int height = gtk_widget_get_allocated_height(view_);
  if (width < 2 || height < 2) return false;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(image);
  gtk_widget_draw(view_, cr);
  cairo_destroy(cr);
  const bool painted = !Uniform(image);
  cairo_surface_destroy(image);
  return painted;
}

void RendererFallbackWatch::OnVerdict(bool painted) {
  Stop();
  const std::optional<RendererFallback::Restart> restart = decision_.OnFirstPage(painted);
  if (!restart) return;
  std::fputs(restart->message.c_str(), stderr);
  std::fflush(nullptr);
  setenv(restart->variable.c_str(), restart->value.c_str(), 1);
  setenv(kRendererFallbackMarker, "1", 1);
  std::vector<char*> args;
  for (std::string& arg : arguments_) args.push_back(arg.data());
  args.push_back(nullptr);
  // By its path, so that it keeps its name in process lists; a program
  // replaced or removed meanwhile is still there as /proc/self/exe.
  const std::string path = CurrentExecutablePath();
  if (!path.empty()) execv(path.c_str(), args.data());
  execv("/proc/self/exe", args.data());
  // Still here: this run goes on as it is, blank or not.
  std::fprintf(stderr, "quenlo-setup: could not start again: %s\n", std::strerror(errno));
  unsetenv(restart->variable.c_str());
  unsetenv(kRendererFallbackMarker);
}

void RendererFallbackWatch::Stop() {
  if (timer_ != 0) g_source_remove(timer_);
  timer_ = 0;
  if (view_) {
    g_signal_handlers_disconnect_by_data(view_, this);
    g_object_unref(view_);
  }
  view_ = nullptr;
}
