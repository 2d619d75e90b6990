#include "app/automation_commands_webkit.h"

#include <gtk/gtk.h>

#include <nlohmann/json.hpp>

#include "app/automation_request.h"
#include "app/json_text.h"
#include "app/page_host_webkit.h"
#include "app/quenlo_window_gtk.h"

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
  const std::string& cmd = request.cmd;
  const std::string& id = request.id;
  if (cmd == "page") {
    return reply(Ok({{"page", pages_.CurrentPath()}, {"complete", pages_.IsComplete()}}));
  }
  if (cmd == "click") {
    if (window_.Modal().open) return reply(Error("a message box is open"));
    // Answered before the click happens, as a person's click is done before
    // its handler runs: the handler may end the program or open a box.
    const std::string args = DumpJson(json{{"id", id}});
    PageHostWebKit* pages = &pages_;
    return pages_.RunFunction(kExistsBody, args,
                              [pages, args, reply](bool ok, const std::string& r) {
                                bool exists = ok && r == "true";
                                reply(exists ? Ok() : Error("no such element"));
                                if (exists) pages->RunFunction(kClickBody, args, nullptr);
                              });
  }
  if (cmd == "set") {
    return RunOnElement(kSetBody, DumpJson(json{{"id", id}, {"value", request.value}}), reply);
  }
  if (cmd == "check") {
    return RunOnElement(kCheckBody, DumpJson(json{{"id", id}, {"checked", request.checked}}),
                        reply);
  }
  if (cmd == "eval") {
    return pages_.Evaluate(request.js, [reply](bool ok, const std::string& result) {
      json value = json::parse(result, nullptr, false);
      reply(ok && !value.is_discarded() ? Ok({{"result", value}}) : Error("script failed"));
    });
  }
  if (cmd == "messagebox") {
    QuenloWindowGtk::ModalState modal = window_.Modal();
    return reply(Ok({{"open", modal.open},
                     {"caption", modal.caption},
                     {"heading", modal.heading},
                     {"text", modal.text},
                     {"buttons", modal.buttons}}));
  }
  if (cmd == "dismiss") {
    return reply(window_.DismissModal(request.button) ? Ok() : Error("no such message box"));
  }
  if (cmd == "live") {
    QuenloWindowGtk::LiveState live = window_.Live();
    return reply(Ok({{"visible", live.visible},
                     {"x", live.x},
                     {"y", live.y},
                     {"width", live.width},
                     {"height", live.height},
                     {"frames", live.frames}}));
  }
  if (cmd == "window") {
    QuenloWindowGtk::ClientState client = window_.Client();
    return reply(Ok({{"title", client.title},
                     {"x", client.x},
                     {"y", client.y},
                     {"width", client.width},
                     {"height", client.height}}));
  }
  if (cmd == "launched") return reply(Ok({{"targets", window_.Launched()}}));
  if (cmd == "screenshot") {
    std::string path = request.path;
    QuenloWindowGtk* window = &window_;
    return pages_.Snapshot([window, path, reply](void* page) {
      reply(window->Screenshot(path, page) ? Ok() : Error("screenshot failed"));
    });
  }
  if (cmd == "about") {
    // The box runs its own loop: open it after this reply has gone.
    g_idle_add(ActivateAbout, &window_);
    return reply(Ok());
  }
  if (cmd == "close") {
    // As the window's close button does; answered first, since closing may
    // end the program.
    reply(Ok());
    return window_.RequestClose();
  }
  if (cmd == "quit") {
    reply(Ok());
    return window_.PostQuit(0);
  }
  reply(Error("unknown command"));
}
