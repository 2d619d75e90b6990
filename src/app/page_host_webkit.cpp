#include "app/page_host_webkit.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <webkit2/webkit2.h>

#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "app/app_paths.h"
#include "app/json_text.h"
#include "app/launch_target.h"
#include "app/text_convert.h"
#include "net/wipe.h"

namespace {

// Injected at document start: reports every click with the ids of the
// clicked element and its ancestors (nearest first) and the fields that the
// handlers of those elements read, taken at the moment of the click; a click
// elsewhere carries no field, so a password reaches the program only with
// the click that needs it. A field's value travels as its UTF-16 code units,
// so that the messages and their copies in the program hold no typed text.
const char kClickScript[] = R"JS(
(function () {
  var kFields = {
    id_pw_next: ['id_pw_password', 'id_pw_change_pw', 'id_pw_new_pw', 'id_pw_cf_new_pw'],
    list_next: 'list_radio',  // every row's radio button
    network_next: ['network_dhcp', 'network_fixedip'],
    fixedip_next: ['fixedip_ip', 'fixedip_mask', 'fixedip_gw']
  };
  function units(text) {
    var out = [];
    for (var i = 0; i < text.length; ++i) out.push(text.charCodeAt(i));
    return out;
  }
  function fieldsOf(id) {
    var spec = Object.prototype.hasOwnProperty.call(kFields, id) ? kFields[id] : [];
    if (typeof spec === 'string')
      return Array.prototype.slice.call(document.querySelectorAll('input[id^="' + spec + '"]'));
    return spec.map(function (f) { return document.getElementById(f); });
  }
  function snapshot(ids) {
    var inputs = {};
    ids.forEach(function (id) {
      fieldsOf(id).forEach(function (e) {
        if (e && e.id) inputs[e.id] = {value: units(String(e.value)), checked: !!e.checked};
      });
    });
    return inputs;
  }
  document.addEventListener('click', function (ev) {
    var ids = [];
    for (var e = ev.target; e && e.nodeType === 1; e = e.parentElement) {
      if (e.id) ids.push(e.id);
    }
    if (ids.length === 0) return;
    window.webkit.messageHandlers.quenlo.postMessage(
        JSON.stringify({ids: ids, inputs: snapshot(ids)}));
  }, true);
})();
)JS";

struct InputState {
  std::string value;
  bool checked = false;
};

void WipeInputs(std::map<std::string, InputState>* inputs) {
  for (auto& [id, state] : *inputs) WipeText(state.value);
  inputs->clear();
}

// What one message of kClickScript says. Any page script can post to the
// handler, so nothing of its shape is taken on trust.
struct ClickMessage {
  std::vector<std::string> ids;
  std::map<std::string, InputState> inputs;
};

// UTF-16 code units (numbers 0 to 65535) as UTF-8 into `out`, a lone
// surrogate as U+FFFD; each number is overwritten once read. The room is
// reserved first: a growing text would leave copies of its start behind.
bool DecodeUnits(nlohmann::json& units, std::string* out) {
  if (!units.is_array()) return false;
  out->reserve(units.size() * 3);
  bool ok = true;
  for (size_t i = 0; i < units.size(); ++i) {
    nlohmann::json& unit = units[i];
    if (!unit.is_number_unsigned() || unit.get<uint32_t>() > 0xFFFF) ok = false;
    uint32_t c = ok ? unit.get<uint32_t>() : 0;
    unit = 0;
    if (!ok) continue;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1].is_number_unsigned()) {
      const uint32_t low = units[i + 1].get<uint32_t>();
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        units[++i] = 0;
      }
    }
    AppendUtf8(c >= 0xD800 && c < 0xE000 ? 0xFFFD : c, out);
  }
  return ok;
}

// The UTF-8 text `text` as UTF-16 code units for a page script, so that
// what the program writes into a field travels as no text either.
nlohmann::json EncodeUnits(const std::string& text) {
  nlohmann::json units = nlohmann::json::array();
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const int length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    uint32_t point = length == 1 ? (c < 0x80 ? c : 0xFFFD) : c & (0x3F >> (length - 1));
    for (int k = 1; k < length; ++k) {
      const unsigned char next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
      point = (next & 0xC0) == 0x80 ? (point << 6) | (next & 0x3F) : 0xFFFD;
      if (point == 0xFFFD) break;
    }
    i += static_cast<size_t>(length);
    if (point >= 0x10000 && point <= 0x10FFFF) {
      units.push_back(0xD800 + ((point - 0x10000) >> 10));
      units.push_back(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      units.push_back(point > 0xFFFF ? 0xFFFD : point);
    }
  }
  return units;
}

bool ParseInputState(nlohmann::json& state, InputState* input) {
  if (!state.is_object()) return false;
  const auto value = state.find("value");
  const auto checked = state.find("checked");
  if (value == state.end() || !DecodeUnits(*value, &input->value)) return false;
  if (checked == state.end() || !checked->is_boolean()) return false;
  input->checked = checked->get<bool>();
  return true;
}

// False when any part is missing or of another type than kClickScript
// sends: such a message is no click. What it decoded is then wiped.
bool ParseClickMessage(nlohmann::json& message, ClickMessage* click) {
  if (!message.is_object()) return false;
  const auto ids = message.find("ids");
  const auto inputs = message.find("inputs");
  if (ids == message.end() || !ids->is_array()) return false;
  if (inputs == message.end() || !inputs->is_object()) return false;
  for (const nlohmann::json& id : *ids) {
    if (!id.is_string()) return false;
    click->ids.push_back(id.get<std::string>());
  }
  bool ok = true;
  for (auto& [id, state] : inputs->items()) {
    ok = ParseInputState(state, &click->inputs[id]) && ok;  // every value gets overwritten
  }
  if (!ok) WipeInputs(&click->inputs);
  return ok;
}

std::string ToLower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string ResolvePageFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return path;
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return path;
  std::string found = path;
  while (dirent* entry = ::readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = path.substr(0, slash + 1) + entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

struct PageHostWebKit::Impl {
  WebKitWebView* view = nullptr;
  IPageEvents* events = nullptr;
  std::function<bool()> blocked;
  RefusedNavigation refused;
  std::string page_folder;
  bool blank_requested = false;  // Navigate had no file to load
  std::string path;              // as navigated to
  std::string resolved_uri;      // what was actually loaded
  bool complete = false;
  std::string failed_uri;                    // its error document is no page of ours
  std::map<std::string, InputState> inputs;  // snapshot of the last click

  // The snapshot may hold what was typed into password fields.
  void ForgetInputs() { WipeInputs(&inputs); }

  void OnScriptMessage(std::string& text);
  void OnLoadChanged(WebKitLoadEvent event);
  void DecideNavigation(WebKitPolicyDecision* decision, WebKitNavigationAction* action,
                        bool new_window);
  bool IsPageUri(const char* uri) const;
  std::string ReportedPath() const;
};

// A local file: URI of a file below the page folder, its name matched
// without regard to case as Navigate does.
bool PageHostWebKit::Impl::IsPageUri(const char* uri) const {
  if (!uri) return false;
  gchar* host = nullptr;
  gchar* file = g_filename_from_uri(uri, &host, nullptr);
  const bool local = file && (!host || g_strcmp0(host, "localhost") == 0);
  const bool inside = local && PathInsideFolder(ResolvePageFile(file), page_folder);
  g_free(host);
  g_free(file);
  return inside;
}

// The view loads pages of the page folder in place, and the blank page when
// Navigate asked for it. Everything else is refused, whoever started it: a
// link, a script, a dropped file, back, forward or reload, a new window.
void PageHostWebKit::Impl::DecideNavigation(WebKitPolicyDecision* decision,
                                            WebKitNavigationAction* action, bool new_window) {
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  const std::string target = uri ? uri : "";
  const bool own_blank = target == "about:blank" && blank_requested;
  if (!new_window && (own_blank || IsPageUri(uri))) {
    if (own_blank) blank_requested = false;
    webkit_policy_decision_use(decision);
    return;
  }
  webkit_policy_decision_ignore(decision);
  const bool link =
      webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED;
  const bool web_link = link && IsWebAddress(target) && !(blocked && blocked());
  if (refused) refused(target, web_link);
}

std::string PageHostWebKit::Impl::ReportedPath() const {
  const char* uri = webkit_web_view_get_uri(view);
  if (!uri || resolved_uri == uri) return path;
  gchar* file = g_filename_from_uri(uri, nullptr, nullptr);
  std::string reported = file ? file : uri;
  g_free(file);
  return reported;
}

void PageHostWebKit::Impl::OnLoadChanged(WebKitLoadEvent event) {
  const char* uri = webkit_web_view_get_uri(view);
  if (event == WEBKIT_LOAD_STARTED) {
    complete = false;
    // A new load, unless it is the error document of the failed one.
    if (!uri || failed_uri != uri) failed_uri.clear();
  }
  if (event != WEBKIT_LOAD_FINISHED) return;
  complete = true;
  ForgetInputs();
  // After a failed load the view shows its own error document under the
  // previous address: no page of ours, so no action.
  if (!failed_uri.empty()) return;
  path = ReportedPath();  // the page may also have navigated by itself
  resolved_uri = uri ? uri : "";
  if (events) events->OnDocumentComplete(path);
}

// Clicks count only while a page of the page folder is shown. `text` and
// every copy of the fields' values are wiped once the handlers have run.
void PageHostWebKit::Impl::OnScriptMessage(std::string& text) {
  nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
  WipeText(text);
  ClickMessage click;
  const bool parsed = ParseClickMessage(message, &click);
  if (!parsed || !IsPageUri(webkit_web_view_get_uri(view)) || (blocked && blocked())) {
    WipeInputs(&click.inputs);
    return;
  }
  ForgetInputs();
  inputs = std::move(click.inputs);
  for (const std::string& id : click.ids) {
    if (events && events->OnElementClick(id)) break;
  }
  ForgetInputs();  // the handlers read the fields while they run
}

namespace {

void OnScriptMessageSignal(WebKitUserContentManager*, WebKitJavascriptResult* result,
                           gpointer data) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (!jsc_value_is_string(value)) return;
  gchar* text = jsc_value_to_string(value);
  std::string copy = text ? text : "";
  if (text) WipeBytes(text, std::strlen(text));
  g_free(text);
  static_cast<PageHostWebKit::Impl*>(data)->OnScriptMessage(copy);
}

void OnLoadChangedSignal(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  static_cast<PageHostWebKit::Impl*>(data)->OnLoadChanged(event);
}

gboolean OnDecidePolicySignal(WebKitWebView*, WebKitPolicyDecision* decision,
                              WebKitPolicyDecisionType type, gpointer data) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;  // its navigation was allowed
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  static_cast<PageHostWebKit::Impl*>(data)->DecideNavigation(
      decision, action, type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION);
  return TRUE;
}

// The pages have no use for the view's own menu (Back, Reload, Inspect...).
gboolean OnContextMenuSignal(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                             gpointer) {
  return TRUE;
}

gboolean OnLoadFailedSignal(WebKitWebView*, WebKitLoadEvent, gchar* failing_uri, GError*,
                            gpointer data) {
  static_cast<PageHostWebKit::Impl*>(data)->failed_uri = failing_uri ? failing_uri : "";
  return FALSE;  // the view shows its own error document
}

struct ScriptCall {
  PageHostWebKit::ScriptDone done;
};

void FinishScript(GObject* source, GAsyncResult* result, gpointer data,
                  JSCValue* (*finish)(WebKitWebView*, GAsyncResult*, GError**)) {
  std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
  GError* error = nullptr;
  JSCValue* value = finish(WEBKIT_WEB_VIEW(source), result, &error);
  std::string json = "null";
  if (value && !jsc_value_is_undefined(value)) {
    gchar* text = jsc_value_to_json(value, 0);
    if (text) json = text;
    g_free(text);
  }
  if (value) g_object_unref(value);
  bool ok = error == nullptr;
  if (error) g_error_free(error);
  if (call->done) call->done(ok, json);
}

void OnFunctionDone(GObject* source, GAsyncResult* result, gpointer data) {
  FinishScript(source, result, data, webkit_web_view_call_async_javascript_function_finish);
}

void OnEvaluateDone(GObject* source, GAsyncResult* result, gpointer data) {
  FinishScript(source, result, data, webkit_web_view_evaluate_javascript_finish);
}

struct SnapshotCall {
  std::function<void(void*)> done;
};

void OnSnapshotDone(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<SnapshotCall> call(static_cast<SnapshotCall*>(data));
  cairo_surface_t* surface =
      webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
  call->done(surface);
  if (surface) cairo_surface_destroy(surface);
}

}  // namespace

PageHostWebKit::PageHostWebKit(std::string page_folder) : impl_(std::make_unique<Impl>()) {
  impl_->page_folder = std::move(page_folder);
  WebKitUserContentManager* manager = webkit_user_content_manager_new();
  WebKitUserScript* script =
      webkit_user_script_new(kClickScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(manager, script);
  webkit_user_script_unref(script);
  g_signal_connect(manager, "script-message-received::quenlo", G_CALLBACK(OnScriptMessageSignal),
                   impl_.get());
  webkit_user_content_manager_register_script_message_handler(manager, "quenlo");
  impl_->view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(manager));
  g_object_unref(manager);
  g_object_ref_sink(impl_->view);
  WebKitSettings* settings = webkit_web_view_get_settings(impl_->view);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  // A page reads nothing but its own subresources.
  webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
  webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
  // The desktop's text scaling (its font resolution, which GDK_DPI_SCALE also
  // sets) reaches the pages as a zoom of their text only: their layout stays
  // in pixels, so the live picture keeps its place over them.
  GdkScreen* screen = gdk_screen_get_default();
  const double dpi = screen ? gdk_screen_get_resolution(screen) : -1;
  const double text_scale = dpi > 0 ? dpi / 96.0 : 1.0;
  if (text_scale > 1.01 || text_scale < 0.99) {
    webkit_settings_set_zoom_text_only(settings, TRUE);
    webkit_web_view_set_zoom_level(impl_->view, text_scale);
  }
  g_signal_connect(impl_->view, "load-changed", G_CALLBACK(OnLoadChangedSignal), impl_.get());
  g_signal_connect(impl_->view, "load-failed", G_CALLBACK(OnLoadFailedSignal), impl_.get());
  g_signal_connect(impl_->view, "decide-policy", G_CALLBACK(OnDecidePolicySignal), impl_.get());
  g_signal_connect(impl_->view, "context-menu", G_CALLBACK(OnContextMenuSignal), impl_.get());
}

PageHostWebKit::~PageHostWebKit() {
  g_signal_handlers_disconnect_by_data(impl_->view, impl_.get());
  WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(impl_->view);
  g_signal_handlers_disconnect_by_data(manager, impl_.get());
  g_object_unref(impl_->view);
}

GtkWidget* PageHostWebKit::Widget() const { return GTK_WIDGET(impl_->view); }

void PageHostWebKit::SetClickGate(std::function<bool()> blocked) {
  impl_->blocked = std::move(blocked);
}

void PageHostWebKit::SetRefusedNavigationHandler(RefusedNavigation handler) {
  impl_->refused = std::move(handler);
}

void PageHostWebKit::SetEvents(IPageEvents* events) { impl_->events = events; }

void PageHostWebKit::Navigate(const std::string& path) {
  impl_->path = path;
  impl_->complete = false;
  impl_->failed_uri.clear();
  impl_->ForgetInputs();
  gchar* uri = g_filename_to_uri(ResolvePageFile(path).c_str(), nullptr, nullptr);
  impl_->resolved_uri = uri ? uri : "";
  impl_->blank_requested = uri == nullptr;
  webkit_web_view_load_uri(impl_->view, uri ? uri : "about:blank");
  g_free(uri);
}

PageValue PageHostWebKit::GetAttribute(const std::string& id, const std::string& name) {
  auto it = impl_->inputs.find(id);
  if (it == impl_->inputs.end()) return {};
  std::string attr = ToLower(name);
  if (attr == "checked") return it->second.checked;
  if (attr == "value") return it->second.value;
  return {};
}

bool PageHostWebKit::SetAttribute(const std::string& id, const std::string& name,
                                  const std::string& value) {
  if (!impl_->complete) return false;
  // A handler reading the field again gets what the page shows now.
  if (auto it = impl_->inputs.find(id); it != impl_->inputs.end() && ToLower(name) == "value") {
    WipeText(it->second.value);
    it->second.value = value;
  }
  nlohmann::json args = {{"id", id}, {"name", name}, {"units", EncodeUnits(value)}};
  RunFunction(
      "var e = document.getElementById(args.id);"
      "if (!e) return false;"
      "var value = String.fromCharCode.apply(null, args.units);"
      "if (args.name === 'value') e.value = value;"
      "else e.setAttribute(args.name, value);"
      "return true;",
      DumpJson(args), nullptr);
  return true;
}

bool PageHostWebKit::CallScript(const std::string& function, const std::vector<std::string>& args) {
  if (!impl_->complete) return false;
  nlohmann::json call = {{"fn", function}, {"args", args}};
  RunFunction(
      "var f = window[args.fn];"
      "if (typeof f !== 'function') return false;"
      "f.apply(window, args.args);"
      "return true;",
      DumpJson(call), nullptr);
  return true;
}

const std::string& PageHostWebKit::CurrentPath() const { return impl_->path; }

bool PageHostWebKit::IsComplete() const { return impl_->complete; }

void PageHostWebKit::RunFunction(const std::string& body, const std::string& args_json,
                                 ScriptDone done) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&builder, "{sv}", "json", g_variant_new_string(args_json.c_str()));
  std::string full = "var args = JSON.parse(json);\n" + body;
  webkit_web_view_call_async_javascript_function(
      impl_->view, full.c_str(), -1, g_variant_builder_end(&builder), nullptr, nullptr, nullptr,
      OnFunctionDone, new ScriptCall{std::move(done)});
}

void PageHostWebKit::Snapshot(std::function<void(void*)> done) {
  webkit_web_view_get_snapshot(impl_->view, WEBKIT_SNAPSHOT_REGION_VISIBLE,
                               WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr, OnSnapshotDone,
                               new SnapshotCall{std::move(done)});
}

void PageHostWebKit::Evaluate(const std::string& js, ScriptDone done) {
  webkit_web_view_evaluate_javascript(impl_->view, js.c_str(), -1, nullptr, nullptr, nullptr,
                                      OnEvaluateDone, new ScriptCall{std::move(done)});
}
