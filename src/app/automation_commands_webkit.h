// The requests of the automation socket, carried out on the UI thread
// against the real window and page view.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

struct AutomationRequest;
class QuenloWindowGtk;
class PageHostWebKit;
class LiveViewWindowGtk;

class AutomationCommands {
 public:
  using Reply = std::function<void(const std::string& json)>;

  AutomationCommands(QuenloWindowGtk& window, PageHostWebKit& pages)
      : window_(window), pages_(pages) {}
  // UI thread. Calls `reply` exactly once, at once or when the page answers.
  void Handle(const std::string& line, Reply reply);
  // Any thread: hands the request to the UI thread.
  void Post(const std::string& line, Reply reply);
  // UI thread: handles the requests that Post queued.
  void HandleQueued();
  // The live viewer that the "live-…" commands drive (may stay unset).
  void SetLiveViewer(LiveViewWindowGtk* viewer) { viewer_ = viewer; }

 private:
  // Each returns false for a command that is not its own.
  bool HandlePageRequest(const AutomationRequest& request, const Reply& reply);
  bool HandleWindowAction(const AutomationRequest& request, const Reply& reply);
  // automation_live_viewer_gtk.cpp
  bool HandleLiveViewer(const AutomationRequest& request, const Reply& reply);
  std::string WindowState(const std::string& cmd);
  void RunOnElement(const std::string& body, const std::string& args_json, Reply reply);

  QuenloWindowGtk& window_;
  PageHostWebKit& pages_;
  LiveViewWindowGtk* viewer_ = nullptr;
  std::mutex mutex_;
  std::deque<std::pair<std::string, Reply>> queue_;  // guarded by mutex_
};
