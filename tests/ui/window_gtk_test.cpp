// The GTK window services in this process, on an own Xvfb.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "app/live_window_gtk.h"
#include "app/message_box_gtk.h"
#include "app/quenlo_window_gtk.h"
#include "app/shell_gtk.h"
#include "app/timers_gtk.h"
#include "support/gtk_display.h"

namespace {

class WindowGtkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitGtkOnXvfb());
    window_ = std::make_unique<QuenloWindowGtk>(gtk_label_new("page"), false);
    window_->Timers().SetHandler([this](int id) {
      fired_.push_back(id);
      on_ui_thread_ = std::this_thread::get_id() == ui_thread_;
    });
    gtk_widget_show_all(window_->Toplevel());
  }
  void TearDown() override { window_.reset(); }

  const std::thread::id ui_thread_ = std::this_thread::get_id();
  std::unique_ptr<QuenloWindowGtk> window_;
  std::vector<int> fired_;
  bool on_ui_thread_ = false;
};

TEST_F(WindowGtkTest, TimersFireOnceAndRestartReplacesThem) {
  window_->Timers().Start(1224, 40);
  window_->Timers().Start(1224, 60);  // replaces the first: still one firing
  window_->Timers().Start(1124, 30);
  window_->Timers().Kill(1124);
  ASSERT_TRUE(IterateUntil([&] { return !fired_.empty(); }));
  IterateUntil([] { return false; }, 200);
  EXPECT_EQ(fired_, std::vector<int>{1224});
}

// What a worker hands over runs on the UI thread, in order, but never inside
// an open box's loop: it waits for the box to close. So does a timer that
// comes due meanwhile, which then fires once.
TEST_F(WindowGtkTest, PostsRunInOrderOnTheUiThreadButNotWhileABoxIsOpen) {
  std::vector<int> ran;
  bool all_on_ui_thread = true;
  auto post = [&](int n) {
    window_->Timers().Post([&, n] {
      ran.push_back(n);
      all_on_ui_thread = all_on_ui_thread && std::this_thread::get_id() == ui_thread_;
    });
  };
  std::thread worker([&] {
    for (int n = 0; n < 3; ++n) post(n);
  });
  worker.join();
  ASSERT_TRUE(IterateUntil([&] { return ran.size() == 3; }));
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(all_on_ui_thread);
  struct Boxed {
    QuenloWindowGtk* window;
    std::function<void(int)> post;
    size_t ran_while_open = 0;
    std::vector<int>* ran;
    std::vector<int>* fired;
    size_t fired_while_open = 0;
  } boxed{window_.get(), post, 0, &ran, &fired_};
  g_timeout_add(
      20,
      [](gpointer data) -> gboolean {
        auto* b = static_cast<Boxed*>(data);
        MessageBoxGtk& boxes = b->window->MessageBoxes();
        if (!boxes.Modal().open) return G_SOURCE_CONTINUE;
        b->post(3);
        b->window->Timers().Start(1224, 10);
        IterateUntil([] { return false; }, 100);  // the box's loop turns meanwhile
        b->ran_while_open = b->ran->size();
        b->fired_while_open = b->fired->size();
        boxes.DismissModal();
        return G_SOURCE_REMOVE;
      },
      &boxed);
  window_->MessageBoxes().Show("Setup", {"", "a box", ""});
  EXPECT_EQ(boxed.ran_while_open, 3u);
  EXPECT_EQ(boxed.fired_while_open, 0u);
  ASSERT_TRUE(IterateUntil([&] { return ran.size() == 4; }));
  IterateUntil([] { return false; }, 100);
  EXPECT_EQ(fired_, std::vector<int>{1224});
}

// Presses OK of the box once one is open, from inside the box's own loop,
// and remembers what the box showed and whether the worker was still waiting.
struct BoxWatcher {
  QuenloWindowGtk* window;
  std::atomic<bool>* returned;
  MessageBoxGtk::ModalState seen;
  bool worker_waited = false;
  std::string button;  // the one to press; OK when empty

  static gboolean Check(gpointer data) {
    auto* w = static_cast<BoxWatcher*>(data);
    if (!w->window->MessageBoxes().Modal().open) return G_SOURCE_CONTINUE;
    w->seen = w->window->MessageBoxes().Modal();
    w->worker_waited = !w->returned->load();
    w->window->MessageBoxes().DismissModal(w->button);
    return G_SOURCE_REMOVE;
  }
};

TEST_F(WindowGtkTest, MessageBoxShowsItsTextsAndGivesTheFocusBack) {
  std::atomic<bool> returned{false};
  BoxWatcher watcher{window_.get(), &returned, {}, false, ""};
  std::string focused;
  window_->MessageBoxes().SetFocusHandler([&](const std::string& field) { focused = field; });
  g_timeout_add(20, BoxWatcher::Check, &watcher);
  window_->MessageBoxes().Show("Setup",
                               {"Password not accepted", "The camera did not answer.", "pw"});
  EXPECT_TRUE(watcher.seen.open);
  EXPECT_EQ(watcher.seen.caption, "Setup");
  EXPECT_EQ(watcher.seen.heading, "Password not accepted");
  EXPECT_EQ(watcher.seen.text, "The camera did not answer.");
  EXPECT_FALSE(window_->MessageBoxes().Modal().open);
  EXPECT_EQ(focused, "pw");  // the field the message is about
}

TEST_F(WindowGtkTest, QuestionTellsWhichButtonWasPressed) {
  for (const auto& [button, answer] :
       {std::pair<std::string, bool>{"Quit", true}, {"Stay", false}}) {
    std::atomic<bool> returned{false};
    BoxWatcher watcher{window_.get(), &returned, {}, false, button};
    g_timeout_add(20, BoxWatcher::Check, &watcher);
    EXPECT_EQ(window_->MessageBoxes().Ask("Setup", "Quit anyway?", "Quit", "Stay"), answer)
        << button;
    EXPECT_EQ(watcher.seen.buttons, (std::vector<std::string>{"Stay", "Quit"}));
  }
  // A choice: the index of the button pressed, -1 for none of them.
  const std::vector<std::string> choices = {"10.0.0.7", "10.0.0.8", "10.0.0.9"};
  for (const auto& [button, answer] :
       {std::pair<std::string, int>{"10.0.0.8", 1}, {"10.0.0.9", 2}, {"None of them", -1}}) {
    std::atomic<bool> returned{false};
    BoxWatcher watcher{window_.get(), &returned, {}, false, button};
    g_timeout_add(20, BoxWatcher::Check, &watcher);
    EXPECT_EQ(window_->MessageBoxes().Choose("Setup", "Which one?", choices, "None of them"),
              answer)
        << button;
    EXPECT_EQ(watcher.seen.buttons,
              (std::vector<std::string>{"None of them", "10.0.0.7", "10.0.0.8", "10.0.0.9"}));
  }
}

// Once the window closes, boxes are skipped and what workers hand over is dropped.
TEST_F(WindowGtkTest, ClosingDropsLaterBoxesAndPosts) {
  bool ran = false;
  window_->Timers().Post([&] { ran = true; });
  window_->BeginClosing();
  window_->MessageBoxes().Show("Setup", {"", "never shown", ""});  // returns at once
  IterateUntil([] { return false; }, 100);
  EXPECT_FALSE(ran);
  EXPECT_FALSE(window_->MessageBoxes().Modal().open);
}

TEST_F(WindowGtkTest, LiveWindowSitsAt490x60AndHidesToNothing) {
  window_->SetClientSize(800, 600);
  EXPECT_FALSE(window_->LiveWindow().IsVisible());
  window_->LiveWindow().Show();
  ASSERT_TRUE(IterateUntil([&] { return window_->LiveWindow().Live().width == 160; }));
  LiveWindowGtk::LiveState live = window_->LiveWindow().Live();
  EXPECT_TRUE(live.visible);
  EXPECT_EQ(live.x, 490);
  EXPECT_EQ(live.y, 60);
  EXPECT_EQ(live.height, 120);
  EXPECT_EQ(live.frames, 0);
  // Pictures handed over by another thread, as the decode thread does, are
  // painted on this one, each counted once however often it is drawn.
  ILiveTarget* target = window_->LiveWindow().Target();
  EXPECT_TRUE(target->IsVisible());
  std::vector<bool> statuses;  // what the finish page's status line is told
  window_->LiveWindow().SetStatusHandler([&](bool live) { statuses.push_back(live); });
  std::thread decoder([target] {
    BitmapInfo info{};
    info.header = {40, 4, 4, 1, 24, 0, 48, 0, 0, 0, 0};
    const std::vector<uint8_t> blue(48, 0x80);
    target->CreateSurface(4, 4);
    for (int i = 0; i < 3; ++i) target->DrawPicture(info, blue.data());
  });
  decoder.join();
  ASSERT_TRUE(IterateUntil([&] { return window_->LiveWindow().Live().frames >= 1; }));
  gtk_widget_queue_draw(window_->LiveWindow().Widget());
  IterateUntil([] { return false; }, 100);
  EXPECT_EQ(window_->LiveWindow().Live().frames, 1);  // the newest picture only, painted once
  EXPECT_EQ(window_->LiveWindow().Live().last_picture, 3u);
  target->ReleaseSurface();  // the stream broke off: black, and "connecting" again
  ASSERT_TRUE(IterateUntil([&] { return statuses.size() == 2; }));
  EXPECT_EQ(statuses, (std::vector<bool>{true, false}));
  window_->LiveWindow().Hide();
  live = window_->LiveWindow().Live();
  EXPECT_FALSE(live.visible);
  EXPECT_FALSE(target->IsVisible());
  EXPECT_EQ(live.x + live.y + live.width + live.height, 0);
}

// Pictures as the decode thread gives them (32-bit words, top row first)
// and 24-bit bitmaps (bottom row first) are painted upright and fitted in,
// black above and below where they do not fill the area.
TEST_F(WindowGtkTest, LivePicturePaintsUprightFittedAndInColour) {
  window_->SetClientSize(800, 600);
  window_->LiveWindow().Show();
  ASSERT_TRUE(IterateUntil([&] { return window_->LiveWindow().Live().width == 160; }));
  ILiveTarget* target = window_->LiveWindow().Target();
  EXPECT_EQ(target->PictureArea().width, 160);  // what the decoder decodes for
  EXPECT_EQ(target->PictureArea().height, 120);
  struct Case {
    int width, height, bits, bar;
  } cases[] = {{160, 120, 32, 0}, {160, 90, 32, 15}, {8, 6, 24, 0}, {10, 6, 24, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.bits << " bits");
    // Red above blue: 0xRRGGBB words, or blue-green-red triples bottom row first.
    const uint32_t stride = BitmapStride(c.bits, c.width);
    std::vector<uint8_t> pixels(stride * c.height);
    for (int y = 0; y < c.height; ++y) {
      const bool red = c.bits == 32 ? y < c.height / 2 : y >= c.height / 2;
      for (int x = 0; x < c.width; ++x) {
        uint8_t* p = pixels.data() + y * stride + x * c.bits / 8;
        p[0] = red ? 0 : 255;  // blue
        p[2] = red ? 255 : 0;
      }
    }
    BitmapInfo info{};
    info.header = {40,
                   c.width,
                   c.bits == 32 ? -c.height : c.height,
                   1,
                   uint16_t(c.bits),
                   0,
                   uint32_t(pixels.size()),
                   0,
                   0,
                   0,
                   0};
    std::thread decoder([&] {
      target->CreateSurface(c.width, c.height);
      EXPECT_TRUE(target->DrawPicture(info, pixels.data()));
    });
    decoder.join();
    cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 160, 120);
    cairo_t* cr = cairo_create(shot);
    gtk_widget_draw(window_->LiveWindow().Widget(), cr);
    cairo_destroy(cr);
    cairo_surface_flush(shot);
    const auto at = [&](int y) {
      const uint8_t* row =
          cairo_image_surface_get_data(shot) + y * cairo_image_surface_get_stride(shot);
      return *reinterpret_cast<const uint32_t*>(row + 80 * 4) & 0xFFFFFF;
    };
    EXPECT_EQ(at(c.bar + 2), 0xFF0000u);
    EXPECT_EQ(at(119 - c.bar - 2), 0x0000FFu);
    if (c.bar > 0) {
      EXPECT_EQ(at(c.bar - 2), 0u);
      EXPECT_EQ(at(119 - c.bar + 2), 0u);
    }
    cairo_surface_destroy(shot);
  }
}

TEST_F(WindowGtkTest, RecordingShellKeepsTargetsInOrder) {
  QuenloWindowGtk recording(gtk_label_new("page"), true);
  recording.Shell().Open("/m/Doc/Manual.html");
  recording.Shell().Open("");
  recording.Shell().Open("https://www.quenlo.example/App/");
  EXPECT_EQ(
      recording.Shell().Launched(),
      (std::vector<std::string>{"/m/Doc/Manual.html", "", "https://www.quenlo.example/App/"}));
}

}  // namespace
