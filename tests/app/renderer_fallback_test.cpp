#include "app/renderer_fallback.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

namespace {

TEST(RendererFallback, RestartsOnlyForAnUnpaintedPageOfAFirstRunThePersonLeftAlone) {
  struct Case {
    bool user_set_variable;
    bool fell_back_before;
    bool painted;
    bool restarts;
  };
  const Case cases[] = {
      {false, false, false, true}, {false, false, true, false}, {true, false, false, false},
      {true, false, true, false},  {false, true, false, false}, {false, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "user " << c.user_set_variable << " before "
                                    << c.fell_back_before << " painted " << c.painted);
    RendererFallback fallback(c.user_set_variable, c.fell_back_before);
    EXPECT_EQ(fallback.Watching(), !c.user_set_variable && !c.fell_back_before);
    const std::optional<RendererFallback::Restart> restart = fallback.OnFirstPage(c.painted);
    ASSERT_EQ(restart.has_value(), c.restarts);
    if (restart) {
      EXPECT_EQ(restart->variable, "WEBKIT_DISABLE_DMABUF_RENDERER");
      EXPECT_EQ(restart->value, "1");
      // One line on standard error that names what was changed.
      EXPECT_NE(restart->message.find("WEBKIT_DISABLE_DMABUF_RENDERER=1"), std::string::npos);
      EXPECT_EQ(restart->message.find('\n'), restart->message.size() - 1);
    }
    // One verdict per run: a later one never restarts, so nothing is said twice.
    EXPECT_FALSE(fallback.Watching());
    EXPECT_FALSE(fallback.OnFirstPage(false).has_value());
  }
}

// The restarted run finds the variable set by its first run, not by the
// person: it neither watches nor passes the marker on to what it starts.
TEST(RendererFallback, EnvironmentTellsThePersonsChoiceFromAnEarlierRun) {
  struct Case {
    const char* variable;
    const char* marker;
    bool watching;
  };
  const Case cases[] = {
      {nullptr, nullptr, true}, {"1", nullptr, false}, {"0", nullptr, false}, {"1", "1", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.variable ? c.variable : "-") << " " << (c.marker ? c.marker : "-"));
    unsetenv("WEBKIT_DISABLE_DMABUF_RENDERER");
    unsetenv("QUENLO_RENDERER_FELL_BACK");
    if (c.variable) setenv("WEBKIT_DISABLE_DMABUF_RENDERER", c.variable, 1);
    if (c.marker) setenv("QUENLO_RENDERER_FELL_BACK", c.marker, 1);
    EXPECT_EQ(RendererFallback::FromEnvironment().Watching(), c.watching);
    EXPECT_EQ(getenv("QUENLO_RENDERER_FELL_BACK"), nullptr);
  }
  unsetenv("WEBKIT_DISABLE_DMABUF_RENDERER");
}

}  // namespace
