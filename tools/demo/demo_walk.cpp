#include "demo_walk.h"

#include <strings.h>

#include <cstdio>
#include <thread>
#include <utility>

using nlohmann::json;

namespace {

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The wizard matches page names without regard to case, and so do we.
bool SameName(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string ElementText(const std::string& id) {
  return "(function(){var e=document.getElementById(" + json(id).dump() +
         ");return e?e.textContent:'';})()";
}

}  // namespace

DemoWalk::DemoWalk(UiSession& ui, std::string out_dir) : ui_(ui), out_dir_(std::move(out_dir)) {}

void DemoWalk::Begin(const std::string& label) {
  label_ = label;
  pages_.clear();
  begun_ = std::chrono::steady_clock::now();
}

double DemoWalk::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begun_).count();
}

bool DemoWalk::Fail(const std::string& text) {
  if (error_.empty()) error_ = text;
  return false;
}

bool DemoWalk::Request(const json& request, json* reply) {
  if (!error_.empty()) return false;
  json answer = ui_.Request(request);
  if (reply) *reply = answer;
  if (answer.value("ok", false)) return true;
  const std::string error = answer.value("error", "");
  if (error == "io") return Fail("the wizard no longer answers on its automation socket");
  return Fail("\"" + request.value("cmd", "") + " " + request.value("id", "") + "\" on " +
              current_ + " failed: " + error);
}

bool DemoWalk::NoMessageBox() {
  json box;
  if (!Request({{"cmd", "messagebox"}}, &box)) return false;
  if (!box.value("open", false)) return true;
  const std::string text = box.value("text", "");
  Request({{"cmd", "dismiss"}});
  return Fail("the wizard showed a message on " + current_ + ": \"" + text + "\"");
}

// A page that ends the installation is never passed on the way to another.
bool DemoWalk::NotDeadEnd() {
  if (SameName(current_, "NotFound.html")) {
    return Fail("the search found no camera (NotFound.html)");
  }
  if (!SameName(current_, "ConfigureFail.html")) return true;
  const std::string message = ElementText("fail_message");
  json text;
  return WaitForScript(message + "!==''", "the failure's message") &&
         Request({{"cmd", "eval"}, {"js", message}}, &text) &&
         Fail("the settings failed (ConfigureFail.html): " + text.value("result", ""));
}

void DemoWalk::Record(const std::string& page) {
  current_ = page;
  pages_.push_back(page);
  std::printf("  %6.1f s  %s\n", Seconds(), page.c_str());
  std::fflush(stdout);
}

// Polls rather than blocks: the wizard answers every request at once, and a
// page shown only while the wizard works (the search, the 40-second wait) is
// caught the same way as the page waited for.
bool DemoWalk::Reach(const std::string& page, int timeout_ms) {
  const auto start = std::chrono::steady_clock::now();
  auto note = start + std::chrono::seconds(5);
  for (;;) {
    json reply;
    if (!Request({{"cmd", "page"}}, &reply) || !NoMessageBox()) return false;
    const std::string shown = FileName(reply.value("page", ""));
    if (reply.value("complete", false) && !SameName(shown, current_)) {
      Record(shown);
      if (SameName(shown, page)) return true;
      if (!Shot() || !NotDeadEnd()) return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - start > std::chrono::milliseconds(timeout_ms)) {
      return Fail(page + " did not come within " + std::to_string(timeout_ms / 1000) +
                  " s; the wizard shows " + current_);
    }
    if (now >= note) {
      const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - start).count();
      std::printf("             ... %lld s on %s, waiting for %s\n", static_cast<long long>(waited),
                  current_.c_str(), page.c_str());
      std::fflush(stdout);
      note += std::chrono::seconds(5);
    }
    SleepMs(100);
  }
}

bool DemoWalk::Shot() {
  if (!error_.empty()) return false;
  char number[16];
  std::snprintf(number, sizeof number, "%02d", ++shots_);
  const std::string path = out_dir_ + "/" + number + "-" + label_ + "-" +
                           current_.substr(0, current_.rfind('.')) + ".png";
  return Request({{"cmd", "screenshot"}, {"path", path}});
}

bool DemoWalk::Click(const std::string& id) { return Request({{"cmd", "click"}, {"id", id}}); }

bool DemoWalk::ClickTo(const std::string& id, const std::string& page, int timeout_ms) {
  return Click(id) && Reach(page, timeout_ms);
}

bool DemoWalk::Set(const std::string& id, const std::string& value) {
  return Request({{"cmd", "set"}, {"id", id}, {"value", value}});
}

bool DemoWalk::Check(const std::string& id, bool checked) {
  return Request({{"cmd", "check"}, {"id", id}, {"checked", checked}});
}

bool DemoWalk::WaitForScript(const std::string& js, const std::string& what) {
  for (int waited = 0; waited < kPageMs; waited += 100) {
    json reply;
    if (!Request({{"cmd", "eval"}, {"js", js}}, &reply) || !NoMessageBox()) return false;
    if (reply["result"] == true) return true;
    SleepMs(100);
  }
  return Fail(what + " did not show on " + current_);
}

// Rows are matched on the MAC's hex digits alone, whatever way the row writes it.
bool DemoWalk::ChooseCamera(const std::string& mac) {
  const std::string find_row =
      "(function(){for(var i=1;;i++){var r=document.getElementById('list_radio'+i);"
      "if(!r)return '';var row=r.closest('label')||r.parentNode;"
      "if(row.textContent.toUpperCase().replace(/[^0-9A-F]/g,'').indexOf(" +
      json(mac).dump() + ")>=0)return r.id;}})()";
  if (!WaitForScript(find_row + "!==''", "the camera with MAC " + mac)) return false;
  json row;
  return Request({{"cmd", "eval"}, {"js", find_row}}, &row) && Check(row.value("result", ""), true);
}

bool DemoWalk::ReadFinish(FinishInfo* info) {
  if (!WaitForScript(ElementText("finish_url") + "!==''", "the camera's web address")) return false;
  json name, mac, url, live_before, live_after;
  if (!Request({{"cmd", "eval"}, {"js", ElementText("finish_name")}}, &name) ||
      !Request({{"cmd", "eval"}, {"js", ElementText("finish_mac")}}, &mac) ||
      !Request({{"cmd", "eval"}, {"js", ElementText("finish_url")}}, &url) ||
      !Request({{"cmd", "live"}}, &live_before)) {
    return false;
  }
  SleepMs(2000);
  if (!Request({{"cmd", "live"}}, &live_after)) return false;
  info->name = name.value("result", "");
  info->mac = mac.value("result", "");
  info->url = url.value("result", "");
  info->frames = live_after.value("frames", 0) - live_before.value("frames", 0);
  return Shot();
}
