// The command line's progress line and its Ctrl-C cancel.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "scene/progress.h"

namespace {

using namespace crn::scene;

TEST(Progress, LineShowsCountsAndEndsOnFinish) {
  std::ostringstream out;
  ProgressBar bar(out, "frames", 10);
  bar.Update(3);
  bar.Update(10, 5e6, "rays");
  bar.Finish();
  const std::string text = out.str();
  EXPECT_NE(text.find("3/10 frames"), std::string::npos) << text;
  EXPECT_NE(text.find("10/10 frames"), std::string::npos) << text;
  EXPECT_NE(text.find("rays/s"), std::string::npos) << text;
  EXPECT_NE(text.find("left"), std::string::npos) << text;
  EXPECT_EQ(text.back(), '\n');
}

TEST(Progress, FirstInterruptOnlyAsksToCancel) {
  InstallCancelHandler();
  EXPECT_FALSE(CancelRequested());
  std::raise(SIGINT);  // handled: the process goes on with the flag set
  EXPECT_TRUE(CancelRequested());
  ClearCancel();
  EXPECT_FALSE(CancelRequested());
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace
