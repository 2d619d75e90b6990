// The WebKitGTK page host in this process, on an own Xvfb, showing the
// pages of the built medium.
#include "app/page_host_webkit.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/gtk_display.h"

namespace {

const std::string kMedium = std::string(QUENLO_BUILD_DIR) + "/medium/";
const std::string kHtml = kMedium + "HTML/";

class RecordingEvents : public IPageEvents {
 public:
  explicit RecordingEvents(std::vector<std::string> handled) : handled_(std::move(handled)) {}
  void OnDocumentComplete(const std::string& path) override { completed.push_back(path); }
  bool OnElementClick(const std::string& id) override {
    clicks.push_back(id);
    if (on_click) on_click(id);
    for (const std::string& h : handled_) {
      if (h == id) return true;
    }
    return false;
  }
  std::vector<std::string> completed;
  std::vector<std::string> clicks;
  // Runs inside the click, while the host still holds the click's fields.
  std::function<void(const std::string&)> on_click;

 private:
  std::vector<std::string> handled_;
};

class PageHostWebKitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitGtkOnXvfb());
    host_ = std::make_unique<PageHostWebKit>(kHtml);
    host_->SetRefusedNavigationHandler([this](const std::string& uri, bool web_link) {
      refused_.push_back({uri, web_link});
    });
    window_ = gtk_offscreen_window_new();
    gtk_widget_set_size_request(host_->Widget(), 800, 600);
    gtk_container_add(GTK_CONTAINER(window_), host_->Widget());
    gtk_widget_show_all(window_);
    host_->SetEvents(&events_);
  }
  void TearDown() override {
    gtk_widget_destroy(window_);
    host_.reset();
  }
  bool Load(const std::string& path) {
    size_t before = events_.completed.size();
    host_->Navigate(path);
    return IterateUntil([&] { return events_.completed.size() > before; }, 15000);
  }
  // Runs script text and returns its JSON result ("" on failure).
  std::string Eval(const std::string& js) {
    bool done = false;
    std::string result;
    host_->Evaluate(js, [&](bool ok, const std::string& json) {
      result = ok ? json : "";
      done = true;
    });
    IterateUntil([&] { return done; });
    return result;
  }

  RecordingEvents events_{{"list_next", "power_next"}};
  std::vector<std::pair<std::string, bool>> refused_;  // uri, web link
  std::unique_ptr<PageHostWebKit> host_;
  GtkWidget* window_ = nullptr;
};

TEST_F(PageHostWebKitTest, CompletionReportsPathAsNavigatedAndResolvesCase) {
  ASSERT_TRUE(Load(kHtml + "NetWork.html"));  // the file is Network.html
  EXPECT_EQ(events_.completed.back(), kHtml + "NetWork.html");
  EXPECT_TRUE(host_->IsComplete());
  EXPECT_EQ(Eval("document.getElementById('network_dhcp') !== null"), "true");
  EXPECT_EQ(ResolvePageFile(kHtml + "finish2.HTML"), kHtml + "Finish2.html");
  EXPECT_EQ(ResolvePageFile(kHtml + "Missing.html"), kHtml + "Missing.html");
}

TEST_F(PageHostWebKitTest, MissingPageRunsNoAction) {
  ASSERT_TRUE(Load(kHtml + "Power.html"));
  size_t before = events_.completed.size();
  host_->Navigate(kHtml + "Missing.html");
  IterateUntil([] { return false; }, 1500);
  EXPECT_EQ(events_.completed.size(), before);
  EXPECT_EQ(host_->CurrentPath(), kHtml + "Missing.html");
}

// A list row as the program words it, its title pasted in as raw bytes
// (already escaped for JSON where needed).
std::string Row(int row, const std::string& title) {
  return "{\"id\": \"list_radio" + std::to_string(row) + "\", \"title\": \"" + title +
         "\", \"model\": \"\", \"mac\": \"\", \"address\": \"\", \"notes\": [],"
         " \"warning\": \"\"}";
}

TEST_F(PageHostWebKitTest, ScriptArgumentsArriveLiterallyEvenWhenNotUtf8) {
  ASSERT_TRUE(Load(kHtml + "List.html"));
  EXPECT_TRUE(host_->CallScript("ListAddCamera", {Row(1, "a'b\\\");</script><b>x")}));
  EXPECT_TRUE(host_->CallScript("ListAddCamera", {Row(2, "bad \xff\xfe bytes")}));
  EXPECT_TRUE(host_->CallScript("NoSuchFunction", {"x"}));  // missing: ignored by the page
  std::string rows;
  IterateUntil([&] {
    rows = Eval(
        "Array.from(document.querySelectorAll('#camera_list strong'))"
        ".map(function (e) { return e.textContent; })");
    return rows.find("bytes") != std::string::npos;
  });
  EXPECT_EQ(rows, "[\"a'b\\\");</script><b>x\",\"bad \xEF\xBF\xBD\xEF\xBF\xBD bytes\"]");
  EXPECT_EQ(Eval("document.querySelectorAll('#camera_list b').length"), "0");
}

// A click carries the fields its handler reads, and only while it runs; a
// typed text arrives exactly, whatever its characters.
TEST_F(PageHostWebKitTest, ClickReachesNearestHandledIdWithTheFieldsItReads) {
  std::vector<PageValue> seen;
  events_.on_click = [&](const std::string&) {
    for (const char* id : {"list_radio1", "list_radio2", "id_pw_password", "id_pw_new_pw"})
      seen.push_back(host_->GetAttribute(id, id[0] == 'l' ? "checked" : "value"));
  };
  ASSERT_TRUE(Load(kHtml + "List.html"));
  host_->CallScript("ListAddCamera", {Row(1, "TAVO-C1")});
  host_->CallScript("ListAddCamera", {Row(2, "TAVO-C1")});
  IterateUntil([&] { return Eval("!!document.getElementById('list_radio2')") == "true"; });
  Eval("document.getElementById('list_radio2').checked = true; true");
  // A click on a child without an id goes to the button around it.
  Eval(
      "var s = document.createElement('span'); document.getElementById('list_next')"
      ".appendChild(s); s.click(); true");
  ASSERT_TRUE(IterateUntil([&] { return !events_.clicks.empty(); }));
  EXPECT_EQ(events_.clicks, std::vector<std::string>{"list_next"});
  EXPECT_EQ(seen, (std::vector<PageValue>{false, true, PageValue(), PageValue()}));
  EXPECT_EQ(host_->GetAttribute("list_radio2", "checked"), PageValue());  // gone after it

  const std::string typed = "p\u00e4\u20ac\U0001F600 :\"x";  // 8-bit, 16-bit, a surrogate pair
  ASSERT_TRUE(Load(kHtml + "IDPassword.html"));
  for (const char* id : {"id_pw_password", "id_pw_new_pw"})
    Eval("document.getElementById('" + std::string(id) +
         "').value = " + nlohmann::json(typed).dump() + "; true");
  for (const char* clicked : {"id_pw_change_pw", "home", "id_pw_next"}) {
    seen.clear();
    events_.clicks.clear();
    Eval("document.getElementById('" + std::string(clicked) + "').click(); true");
    ASSERT_TRUE(IterateUntil([&] { return !events_.clicks.empty(); })) << clicked;
    const bool reads = std::string(clicked) == "id_pw_next";
    EXPECT_EQ(seen, (std::vector<PageValue>{PageValue(), PageValue(), reads ? typed : PageValue(),
                                            reads ? typed : PageValue()}))
        << clicked;
  }
}

TEST_F(PageHostWebKitTest, UnhandledIdIsOfferedToOuterElements) {
  ASSERT_TRUE(Load(kHtml + "Power.html"));
  Eval(
      "var b = document.getElementById('power_next'); var i = document.createElement('i');"
      "i.id = 'inner_icon'; b.appendChild(i); i.click(); true");
  ASSERT_TRUE(IterateUntil([&] { return events_.clicks.size() >= 2; }));
  EXPECT_EQ(events_.clicks, (std::vector<std::string>{"inner_icon", "power_next"}));
}

TEST_F(PageHostWebKitTest, ClickGateKeepsClicksFromHandlers) {
  ASSERT_TRUE(Load(kHtml + "Power.html"));
  bool blocked = true;
  host_->SetClickGate([&] { return blocked; });
  Eval("document.getElementById('power_next').click(); true");
  IterateUntil([] { return false; }, 300);
  EXPECT_TRUE(events_.clicks.empty());
  blocked = false;
  Eval("document.getElementById('power_next').click(); true");
  EXPECT_TRUE(IterateUntil([&] { return !events_.clicks.empty(); }));
}

TEST_F(PageHostWebKitTest, SetAttributeWritesValueAndSkipsMissingElement) {
  ASSERT_TRUE(Load(kHtml + "FixedIP.html"));
  EXPECT_TRUE(host_->SetAttribute("fixedip_ip", "value", "192.168.0.100"));
  EXPECT_TRUE(host_->SetAttribute("no_such_field", "value", "x"));
  EXPECT_TRUE(IterateUntil(
      [&] { return Eval("document.getElementById('fixedip_ip').value") == "\"192.168.0.100\""; }));
  const std::string text = "p\u00e4\u20ac\U0001F600 :\"x";
  EXPECT_TRUE(host_->SetAttribute("fixedip_mask", "value", text));
  EXPECT_TRUE(IterateUntil([&] {
    return Eval("document.getElementById('fixedip_mask').value") == nlohmann::json(text).dump();
  }));
}

// Whatever a script, a link or a forged message tries, the view keeps the
// medium's page and only real clicks reach the handlers.
TEST_F(PageHostWebKitTest, HostileNavigationsAndMessagesAreRefused) {
  const std::string link = "var a = document.createElement('a'); document.body.appendChild(a);";
  const std::string post = "window.webkit.messageHandlers.quenlo.postMessage(";
  struct Case {
    std::string js;
    std::string refused;  // the start of the refused address; "" when nothing navigates
    bool web_link;
  };
  const Case cases[] = {
      {"location.href = 'file://" + kMedium + "Doc/Manual.html'",
       "file://" + kMedium + "Doc/Manual.html", false},
      {"location.href = 'file://" + kHtml + "../Doc/QIG.html'",
       "file://" + kMedium + "Doc/QIG.html", false},
      {"location.href = 'data:text/html,<button id=list_next>'", "data:", false},
      {"document.body.appendChild(document.createElement('iframe')).src = 'file:///etc/passwd'",
       "file:///etc/passwd", false},
      {"location.href = 'http://www.quenlo.example/'", "http://www.quenlo.example/", false},
      {link + "a.href = 'https://www.quenlo.example/help'; a.click()",
       "https://www.quenlo.example/help", true},
      {link + "a.href = 'Main.html'; a.target = '_blank'; a.click()",
       "file://" + kHtml + "Main.html", false},
      {post + "JSON.stringify({ids: ['list_next'], inputs: {a: {value: 5, checked: false}}}))", "",
       false},
      {post + "JSON.stringify({ids: ['list_next'], inputs: {a: 'x'}}))", "", false},
      {post + "JSON.stringify({ids: [7], inputs: {}}))", "", false},
      {post + "{ids: ['list_next'], inputs: {}})", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.js);
    ASSERT_TRUE(Load(kHtml + "Power.html")) << "hung";
    const size_t completed = events_.completed.size();
    refused_.clear();
    events_.clicks.clear();
    Eval("window.quenloMarker = 1; " + c.js + "; true");
    if (!c.refused.empty()) {  // a frame's blank start may be refused first
      auto found = refused_.end();
      ASSERT_TRUE(IterateUntil([&] {
        found = std::find_if(refused_.begin(), refused_.end(),
                             [&](const auto& r) { return r.first.rfind(c.refused, 0) == 0; });
        return found != refused_.end();
      })) << "hung: not refused";
      EXPECT_EQ(found->second, c.web_link);
    }
    // Messages arrive in order: a forged one would come before this click.
    Eval("document.getElementById('power_next').click(); true");
    ASSERT_TRUE(IterateUntil([&] { return !events_.clicks.empty(); })) << "hung: no click";
    EXPECT_EQ(events_.clicks, std::vector<std::string>{"power_next"});
    EXPECT_EQ(Eval("window.quenloMarker"), "1");  // the same document
    EXPECT_EQ(events_.completed.size(), completed);
  }
  gboolean handled = FALSE;  // the view's own menu (Back, Reload) never opens
  WebKitContextMenu* menu = webkit_context_menu_new();
  GdkEvent* event = gdk_event_new(GDK_BUTTON_PRESS);
  gpointer hit = g_object_new(WEBKIT_TYPE_HIT_TEST_RESULT, nullptr);
  g_signal_emit_by_name(host_->Widget(), "context-menu", menu, event, hit, &handled);
  EXPECT_TRUE(handled);
  g_object_unref(hit);
  gdk_event_free(event);
  g_object_unref(menu);
}

// The blank page the host falls back to is no page of the folder.
TEST_F(PageHostWebKitTest, ClicksCountOnlyOnPagesOfTheFolder) {
  host_->Navigate("relative/Power.html");  // no file address: the blank page
  ASSERT_TRUE(IterateUntil([&] { return host_->IsComplete(); })) << "hung";
  Eval(
      "window.webkit.messageHandlers.quenlo.postMessage('{\"ids\":[\"list_next\"],\"inputs\":{}}'"
      ")");
  ASSERT_TRUE(Load(kHtml + "Power.html"));
  Eval("document.getElementById('power_next').click(); true");
  ASSERT_TRUE(IterateUntil([&] { return !events_.clicks.empty(); })) << "hung: no click";
  EXPECT_EQ(events_.clicks, std::vector<std::string>{"power_next"});
}

}  // namespace
