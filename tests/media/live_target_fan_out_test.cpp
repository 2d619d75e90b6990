#include "media/live_target_fan_out.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/fake_live_target.h"

namespace {

BitmapInfo Picture(int width, int height) {
  BitmapInfo info{};
  info.header.width = width;
  info.header.height = height;
  info.header.bitCount = 24;
  return info;
}

// The decode thread's calls, as it makes them for one picture of a size.
void Draw(ILiveTarget& target, int width, int height, bool new_size) {
  if (new_size) target.CreateSurface(width, height);
  target.DrawPicture(Picture(width, height), nullptr);
}

// A viewer opened while the stream runs gets a surface of the size in flight
// before its first picture, then every picture the small one gets; closed,
// it gives its surface back and gets nothing more.
TEST(LiveTargetFanOut, SecondTargetJoinsMidStreamAndLeaves) {
  FakeLiveTarget small, viewer;
  LiveTargetFanOut fan_out(&small);
  Draw(fan_out, 640, 480, true);
  fan_out.Attach(&viewer);
  Draw(fan_out, 640, 480, false);
  Draw(fan_out, 640, 480, false);
  EXPECT_EQ(small.Drawn(), 3u);
  EXPECT_EQ(viewer.surfaces, (std::vector<std::pair<int, int>>{{640, 480}}));
  EXPECT_EQ(viewer.Drawn(), 2u);

  Draw(fan_out, 320, 240, true);  // a new size: the viewer's surface is made anew
  EXPECT_EQ(viewer.releases.load(), 1);
  EXPECT_EQ(viewer.surfaces.back(), (std::pair<int, int>{320, 240}));

  viewer.visible = false;  // a hidden viewer is skipped, the small picture is not
  Draw(fan_out, 320, 240, false);
  EXPECT_EQ(viewer.Drawn(), 3u);
  EXPECT_EQ(small.Drawn(), 5u);
  viewer.visible = true;

  fan_out.Detach();
  EXPECT_EQ(viewer.releases.load(), 2);
  Draw(fan_out, 320, 240, false);
  EXPECT_EQ(viewer.Drawn(), 3u);
  EXPECT_EQ(small.Drawn(), 6u);

  fan_out.ReleaseSurface();  // the stream is lost: only the small picture had a surface
  EXPECT_EQ(small.releases.load(), 1);
  EXPECT_EQ(viewer.releases.load(), 2);
}

// The viewer open while the small picture is hidden still gets pictures,
// and the decode thread sees the pair as visible. While the viewer is open
// pictures are decoded whole, not at the small picture's reduced scale.
TEST(LiveTargetFanOut, VisibleWhileEitherIsAndWholeWhileTheViewerIsOpen) {
  FakeLiveTarget small, viewer;
  small.area_width = 160;
  small.area_height = 120;
  LiveTargetFanOut fan_out(&small);
  EXPECT_EQ(fan_out.PictureArea().width, 160);
  small.visible = false;
  EXPECT_FALSE(fan_out.IsVisible());
  fan_out.Attach(&viewer);
  EXPECT_TRUE(fan_out.IsVisible());
  EXPECT_EQ(fan_out.PictureArea().width, 0);
  Draw(fan_out, 64, 48, true);
  EXPECT_EQ(small.Drawn(), 0u);
  EXPECT_EQ(viewer.Drawn(), 1u);
  fan_out.Detach();
  EXPECT_EQ(fan_out.PictureArea().height, 120);
}

// The viewer closes while the decode thread draws: once Detach has returned
// it gets no picture more, while the small picture goes on.
TEST(LiveTargetFanOut, DetachedTargetGetsNothingMoreWhileTheStreamGoesOn) {
  FakeLiveTarget small, viewer;
  LiveTargetFanOut fan_out(&small);
  std::atomic<bool> stop{false};
  std::thread decoder([&] {
    fan_out.CreateSurface(64, 48);
    while (!stop.load()) fan_out.DrawPicture(Picture(64, 48), nullptr);
  });
  for (int round = 0; round < 50; ++round) {
    fan_out.Attach(&viewer);
    ASSERT_TRUE(viewer.WaitForDrawn(viewer.Drawn() + 1)) << "hung: the viewer got no picture";
    fan_out.Detach();
    const size_t detached = viewer.Drawn();
    ASSERT_TRUE(small.WaitForDrawn(small.Drawn() + 3)) << "hung: the small picture stopped";
    EXPECT_EQ(viewer.Drawn(), detached) << round;
  }
  stop.store(true);
  decoder.join();
  EXPECT_EQ(viewer.releases.load(), 50);  // each surface given back on closing
}

}  // namespace
