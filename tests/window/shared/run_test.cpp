#include "window/shared/run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>

#include "test_files.h"

namespace window {
namespace {

using grid::testing_support::kOnWindows;
using grid::testing_support::TempDirTest;

// A controller whose wake call is seen by the test's thread, as a window's event loop sees it.
class RunTest : public TempDirTest {
 private:
  // Before the controller, which may still wake them as it ends.
  std::mutex mutex_;
  std::condition_variable woken_signal_;
  bool woken_ = false;

 protected:
  RunController controller_{[this] {
    const std::lock_guard lock(mutex_);
    woken_ = true;
    woken_signal_.notify_all();
  }};

  void Start(const grid::FieldTexts& texts, const std::filesystem::path& to = {}) {
    {
      const std::lock_guard lock(mutex_);
      woken_ = false;
    }
    controller_.Start(texts, {.sync = false, .output = to.empty() ? output() : to});
  }
  bool Ended() {
    std::unique_lock lock(mutex_);
    return woken_signal_.wait_for(lock, std::chrono::seconds(60), [this] { return woken_; });
  }
  // Ticks as the window's timer does until the dialog shows; false if the run ended first.
  bool DialogShown() {
    while (!controller_.Tick().shown) {
      const std::lock_guard lock(mutex_);
      if (woken_) {
        return false;
      }
    }
    return true;
  }
};

TEST_F(RunTest, DuringARunOnlyQuitWorks) {
  Start({"0", "400", "0", "200", "200"});
  ASSERT_TRUE(controller_.Running());
  for (const ControlDesign& design : kControls) {
    EXPECT_EQ(controller_.Enabled(design.control),
              design.kind == ControlKind::label || design.control == Control::Command3)
        << design.name;
  }
  ASSERT_TRUE(Ended());
  EXPECT_EQ(controller_.Finish(), "");
  EXPECT_FALSE(controller_.Running());
  EXPECT_FALSE(controller_.Dialog().shown);  // a short run shows nothing
  for (const ControlDesign& design : kControls) {
    EXPECT_TRUE(controller_.Enabled(design.control)) << design.name;
  }
  EXPECT_EQ(std::filesystem::file_size(output()), 113u);
}

TEST_F(RunTest, AnErrorIsTheBoxsTextAndLeavesNoDialog) {
  Start({"0", "400", "0", "200", "0.4"});
  ASSERT_TRUE(Ended());
  EXPECT_EQ(controller_.Finish(),
            "Run-time error 3:\n\nDivision by zero: \"Grid Spacing\" is 0 (any spacing from -0.5 "
            "to 0.5 rounds to 0); enter a whole number other than 0.");
  EXPECT_FALSE(controller_.Dialog().shown);
  EXPECT_EQ(Entries(), std::vector<std::string>{});
}

// The dialog names the file the core writes: behind a link, the link's target. (Under Wine,
// which makes no link a program could follow, the file itself.)
TEST_F(RunTest, TheDialogNamesTheFileWrittenUntilItIsClosed) {
  std::filesystem::create_directory(dir() / "kept");
  const std::filesystem::path file = dir() / "kept" / "grid.csv";
  std::ofstream(file) << "the previous grid";
  if (!kOnWindows) {
    std::filesystem::create_symlink(std::filesystem::path("kept") / "grid.csv", output());
  }
  const std::string target = std::filesystem::path(file).make_preferred().string();
  controller_.SetProgressDelay(0);
  Start({"0", "4000", "0", "4000", "1"}, kOnWindows ? file : output());
  ASSERT_TRUE(DialogShown()) << "the run ended before the window's timer saw it";
  EXPECT_EQ(controller_.Dialog().text, "Writing " + target + "...");
  EXPECT_EQ(controller_.Dialog().button, "Cancel");
  EXPECT_FALSE(controller_.Dialog().done);
  ASSERT_TRUE(Ended());
  EXPECT_EQ(controller_.Finish(), "");
  const ProgressDialogState& done = controller_.Dialog();
  EXPECT_TRUE(done.shown && done.done);
  EXPECT_EQ(done.steps, 1000);  // all of it
  EXPECT_EQ(done.button, "Close");
  EXPECT_EQ(done.text, "Done: " + target + " is written (366.5 MB).");
  EXPECT_EQ(std::filesystem::file_size(dir() / "kept" / "grid.csv"), 366'451'617u);
  controller_.Cancel();  // its Close button
  EXPECT_FALSE(controller_.Dialog().shown);
}

TEST_F(RunTest, CancelEndsTheRunAndKeepsTheFile) {
  controller_.SetProgressDelay(0);
  Start({"0", "3000", "0", "3000", "1"});
  ASSERT_TRUE(DialogShown());
  controller_.Cancel();
  EXPECT_FALSE(controller_.Dialog().shown);
  EXPECT_FALSE(controller_.Tick().shown);  // and stays gone
  ASSERT_TRUE(Ended());
  EXPECT_EQ(controller_.Finish(), "");
  EXPECT_FALSE(controller_.Dialog().shown);
  EXPECT_EQ(Entries(), std::vector<std::string>{});
}

// Whatever a run raises on the worker thread ends as a run-time error, never the program.
TEST_F(RunTest, AnyFailureOfARunIsARunTimeError) {
  grid::RunOptions options{.output = output()};
  options.progress = [](const grid::GridProgress&) -> bool {
    throw std::runtime_error("the machine said no");
  };
  const RunOutcome outcome = RunGrid({"0", "400", "0", "200", "200"}, options);
  EXPECT_EQ(outcome.error_number, 6);
  EXPECT_EQ(outcome.error_description, "System error: the machine said no");
  EXPECT_EQ(Entries(), std::vector<std::string>{});
}

}  // namespace
}  // namespace window
