#include "app/automation_commands_webkit.h"

#include <gtk/gtk.h>

#include <nlohmann/json.hpp>

#include "app/automation_request.h"
#include "app/json_text.h"
#include "app/live_window_gtk.h"
#include "app/message_box_gtk.h"
#include "app/page_host_webkit.h"
#include "app/quenlo_window_gtk.h"
#include "app/shell_gtk.h"

using nlohmann::json;

namespace {

std::string Error(const std::string& text) { return AutomationErrorReply(text); }

std::string Ok(json reply = json::object()) {
  reply["ok"] = true;
  return DumpJson(reply);
}

gboolean HandleQueuedOnUiThread(gpointer data) {
  static_cast<AutomationCommands*>(data)->HandleQueued();
  return G_SOURCE_REMOVE;
}

gboolean ActivateAbout(gpointer data) {
  static_cast<QuenloWindowGtk*>(data)->ActivateAboutItem();
  return G_SOURCE_REMOVE;
}

// The element scripts: each gets `args` and returns false for a missing element.
const char kExistsBody[] = "return document.getElementById(args.id) !== null;";
const char kClickBody[] =
    "var e = document.getElementById(args.id); if (!e) return false; e.click(); return true;";
const char kSetBody[] =
    "var e = document.getElementById(args.id); if (!e) return false;"
    "e.value = args.value;"
    "e.dispatchEvent(new Event('input', {bubbles: true}));"
    "e.dispatchEvent(new Event('change', {bubbles: true})); return true;";
const char kCheckBody[] =
    "var e = document.getElementById(args.id); if (!e) return false;"
    "if (e.checked !== args.checked) { e.checked = args.checked;"
    "  e.dispatchEvent(new Event('input', {bubbles: true}));"
    "  e.dispatchEvent(new Event('change', {bubbles: true})); }"
    "return true;";

}  // namespace

// Always queued: g_main_context_invoke would run it on the calling thread
// whenever the UI thread is between two iterations. The request travels
// through our own queue, not through GLib.
void AutomationCommands::Post(const std::string& line, Reply reply) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.emplace_back(line, std::move(reply));
  }
  g_idle_add(HandleQueuedOnUiThread, this);
}

void AutomationCommands::HandleQueued() {
  for (;;) {
    std::pair<std::string, Reply> request;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return;
      request = std::move(queue_.front());
      queue_.pop_front();
    }
    Handle(request.first, std::move(request.second));
  }
}

void AutomationCommands::RunOnElement(const std::string& body, const std::string& args_json,
                                      Reply reply) {
  pages_.RunFunction(body, args_json, [reply](bool ok, const std::string& result) {
    reply(ok && result == "true" ? Ok() : Error("no such element"));
  });
}

void AutomationCommands::Handle(const std::string& line, Reply reply) {
  AutomationRequest request;
  std::string error;
  if (!ParseAutomationRequest(line, &request, &error)) return reply(Error(error));
  if (HandlePageRequest(request, reply) || HandleWindowAction(request, reply) ||
      HandleLiveViewer(request, reply))
    return;
  reply(WindowState(request.cmd));
}

// What works on the page: answered when the page has answered.
bool AutomationCommands::HandlePageRequest(const AutomationRequest& request, const Reply& reply) {
  const std::string& cmd = request.cmd;
  if (cmd == "click") {
    if (window_.MessageBoxes().Modal().open) {
      reply(Error("a message box is open"));
      return true;
    }
    // Answered before the click happens, as a person's click is done before
    // its handler runs: the handler may end the program or open a box.
    const std::string args = DumpJson(json{{"id", request.id}});
    PageHostWebKit* pages = &pages_;
    pages_.RunFunction(kExistsBody, args, [pages, args, reply](bool ok, const std::string& r) {
      const bool exists = ok && r == "true";
      reply(exists ? Ok() : Error("no such element"));
      if (exists) pages->RunFunction(kClickBody, args, nullptr);
    });
  } else if (cmd == "set") {
    RunOnElement(kSetBody, DumpJson(json{{"id", request.id}, {"value", request.value}}), reply);
  } else if (cmd == "check") {
    RunOnElement(kCheckBody, DumpJson(json{{"id", request.id}, {"checked", request.checked}}),
                 reply);
  } else if (cmd == "eval") {
    pages_.Evaluate(request.js, [reply](bool ok, const std::string& result) {
      const json value = json::parse(result, nullptr, false);
      reply(ok && !value.is_discarded() ? Ok({{"result", value}}) : Error("script failed"));
    });
  } else if (cmd == "screenshot") {
    QuenloWindowGtk* window = &window_;
    pages_.Snapshot([window, path = request.path, reply](void* page) {
      reply(window->Screenshot(path, page) ? Ok() : Error("screenshot failed"));
    });
  } else {
    return false;
  }
  return true;
}

// What acts on the window. Each is answered first: it may open a box that
// runs its own loop, or end the program.
bool AutomationCommands::HandleWindowAction(const AutomationRequest& request, const Reply& reply) {
  const std::string& cmd = request.cmd;
  if (cmd == "dismiss") {
    reply(window_.MessageBoxes().DismissModal(request.button) ? Ok()
                                                              : Error("no such message box"));
  } else if (cmd == "about") {
    reply(Ok());
    g_idle_add(ActivateAbout, &window_);
  } else if (cmd == "close") {
    reply(Ok());
    window_.RequestClose();  // as the window's close button does
  } else if (cmd == "quit") {
    reply(Ok());
    window_.PostQuit(0);
  } else {
    return false;
  }
  return true;
}

// What the window and page show now.
std::string AutomationCommands::WindowState(const std::string& cmd) {
  if (cmd == "page") return Ok({{"page", pages_.CurrentPath()}, {"complete", pages_.IsComplete()}});
  if (cmd == "launched") return Ok({{"targets", window_.Shell().Launched()}});
  if (cmd == "messagebox") {
    const MessageBoxGtk::ModalState m = window_.MessageBoxes().Modal();
    return Ok({{"open", m.open},
               {"caption", m.caption},
               {"heading", m.heading},
               {"text", m.text},
               {"buttons", m.buttons}});
  }
  if (cmd == "live") {
    const LiveWindowGtk::LiveState l = window_.LiveWindow().Live();
    return Ok({{"visible", l.visible},
               {"x", l.x},
               {"y", l.y},
               {"width", l.width},
               {"height", l.height},
               {"frames", l.frames}});
  }
  if (cmd == "window") {
    const QuenloWindowGtk::ClientState c = window_.Client();
    return Ok(
        {{"title", c.title}, {"x", c.x}, {"y", c.y}, {"width", c.width}, {"height", c.height}});
  }
  return Error("unknown command");
}
