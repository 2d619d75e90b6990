// The GTK window services in this process, on an own Xvfb.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
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

// Inside a wait the loop runs (other sources, painting) but the page takes
// no input and the dialog's timers wait for the end of the wait.
TEST_F(WindowGtkTest, WaitRunsTheLoopButHoldsTimersAndInput) {
  struct Seen {
    QuenloWindowGtk* window;
    bool ran = false, sensitive = true;
  } seen{window_.get()};
  window_->Timers().Start(1224, 10);
  g_timeout_add(
      40,
      [](gpointer data) {
        auto* s = static_cast<Seen*>(data);
        s->ran = true;
        s->sensitive = gtk_widget_is_sensitive(s->window->LiveWindow().Widget());
        return G_SOURCE_REMOVE;
      },
      &seen);
  window_->PollPause(150);
  EXPECT_TRUE(seen.ran);
  EXPECT_FALSE(seen.sensitive);
  EXPECT_TRUE(fired_.empty());
  ASSERT_TRUE(IterateUntil([&] { return !fired_.empty(); }));
  EXPECT_EQ(fired_, std::vector<int>{1224});
  EXPECT_TRUE(gtk_widget_is_sensitive(window_->LiveWindow().Widget()));
}

TEST_F(WindowGtkTest, TimerStartedOnWorkerFiresOnUiThread) {
  std::thread worker([&] { window_->Timers().Start(1124, 20); });
  worker.join();
  ASSERT_TRUE(IterateUntil([&] { return !fired_.empty(); }));
  EXPECT_EQ(fired_, std::vector<int>{1124});
  EXPECT_TRUE(on_ui_thread_);
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

TEST_F(WindowGtkTest, WorkerMessageBoxShowsOnUiThreadAndWaitsForOk) {
  std::atomic<bool> returned{false};
  BoxWatcher watcher{window_.get(), &returned, {}, false, ""};
  std::string focused;
  bool focused_on_ui_thread = false;
  window_->MessageBoxes().SetFocusHandler([&](const std::string& field) {
    focused = field;
    focused_on_ui_thread = std::this_thread::get_id() == ui_thread_;
  });
  guint source = g_timeout_add(20, BoxWatcher::Check, &watcher);
  std::thread worker([&] {
    window_->MessageBoxes().Show("Setup",
                                 {"Password not accepted", "The camera did not answer.", "pw"});
    returned.store(true);
  });
  ASSERT_TRUE(IterateUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(watcher.seen.open);
  EXPECT_EQ(watcher.seen.caption, "Setup");
  EXPECT_EQ(watcher.seen.heading, "Password not accepted");
  EXPECT_EQ(watcher.seen.text, "The camera did not answer.");
  EXPECT_TRUE(watcher.worker_waited);
  EXPECT_FALSE(window_->MessageBoxes().Modal().open);
  // The field the message is about gets the focus back, on the UI thread.
  EXPECT_EQ(focused, "pw");
  EXPECT_TRUE(focused_on_ui_thread);
  if (!watcher.seen.open) g_source_remove(source);
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
}

TEST_F(WindowGtkTest, PollPauseShowsBoxThatWorkerWaitsFor) {
  std::atomic<bool> returned{false};
  BoxWatcher watcher{window_.get(), &returned, {}, false, ""};
  guint source = g_timeout_add(20, BoxWatcher::Check, &watcher);
  std::thread worker([&] {
    window_->MessageBoxes().Show("Setup", {"", "from the worker", ""});
    returned.store(true);
  });
  // The UI thread waits as it does for a worker, without iterating its loop
  // itself; the box is shown all the same.
  for (int i = 0; i < 200 && !returned.load(); ++i) window_->PollPause(20);
  worker.join();
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(watcher.seen.text, "from the worker");
  if (!watcher.seen.open) g_source_remove(source);
}

TEST_F(WindowGtkTest, ClosingReleasesWorkersWaitingForBoxes) {
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    window_->MessageBoxes().Show("Setup", {"", "never shown", ""});
    returned.store(true);
  });
  while (!returned.load()) {
    window_->BeginClosing();  // repeated until the worker has asked
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker.join();
  IterateUntil([] { return false; }, 100);
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
