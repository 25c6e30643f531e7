#include "window/shared/run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir_test.h"
#include "window/shared/progress_rule.h"

namespace window {
namespace {

using testing_support::kOnWindows;
using testing_support::TempDirTest;
constexpr auto kPatience = std::chrono::seconds(60);

// A window as the controller sees it: what it was told, and a wake the test's thread waits for,
// as a window's event loop would.
class FakeView : public RunView {
 public:
  void WakeOnWindowThread() override {
    const std::lock_guard lock(mutex_);
    woken_ = true;
    woken_signal_.notify_all();
  }
  bool Woken() {
    std::unique_lock lock(mutex_);
    return woken_signal_.wait_for(lock, kPatience, [this] { return woken_; });
  }
  bool WokenYet() {
    const std::lock_guard lock(mutex_);
    return woken_;
  }
  void Unwake() {
    const std::lock_guard lock(mutex_);
    woken_ = false;
  }

  void SetEnabled(Control control, bool enabled) override { enabled_[control] = enabled; }
  std::optional<Control> FocusedControl() const override { return focused; }
  void ClearFocus() override { focused.reset(); }
  void Focus(Control control, bool select_text) override {
    focused = control;
    selected = select_text;
  }
  void StartTicker() override { ticking = true; }
  void StopTicker() override { ticking = false; }
  void ShowDialog(const ProgressDialogState& state) override { dialog = state; }
  void AnnounceDone() override { ++announced; }
  bool WindowShown() const override { return shown; }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  bool AskToWrite(const std::string& question) override {
    questions.push_back(question);
    return answer_write;
  }

  bool Enabled(Control control) const { return enabled_.at(control); }

  std::optional<Control> focused;
  bool selected = false;
  bool ticking = false;
  ProgressDialogState dialog;
  int announced = 0;
  bool shown = true;
  std::vector<std::string> errors;
  std::vector<std::string> questions;
  bool answer_write = false;

 private:
  std::map<Control, bool> enabled_;
  std::mutex mutex_;
  std::condition_variable woken_signal_;
  bool woken_ = false;
};

// A run whose progress the test tells, one report at a time, in place of the core's.
class ToldRun {
 public:
  // The next report to give, and what the run ends in after the last.
  void Tell(const grid::GridProgress& progress) {
    std::unique_lock lock(mutex_);
    told_.push_back(progress);
    changed_.notify_all();
    changed_.wait_for(lock, kPatience, [this] { return told_.empty(); });
  }
  void End(std::uint64_t bytes_written) { Tell({.bytes_total = bytes_written, .path = "end"}); }

  RunOutcome operator()(const grid::GridPlan&, const grid::RunOptions& options) {
    for (;;) {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, kPatience, [this] { return !told_.empty(); })) {
        return {.error_number = 6};
      }
      const grid::GridProgress progress = told_.front();
      lock.unlock();
      const bool end = progress.path == "end";
      const bool go_on = end || options.progress(progress);
      lock.lock();
      told_.clear();
      changed_.notify_all();
      if (end || !go_on) {
        return {.cancelled = !go_on, .bytes_written = progress.bytes_total};
      }
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<grid::GridProgress> told_;
};

class RunTest : public TempDirTest {
 protected:
  FakeView view_;              // before the controller, which may still wake it as it ends
  std::atomic<int> plans_{0};  // the texts planned, by either thread
  RunController controller_{view_, RunGrid, 1000,
                            [this](const grid::FieldTexts& texts, char decimal_separator) {
                              ++plans_;
                              return PlanFields(texts, decimal_separator);
                            }};

  void Run(const grid::FieldTexts& texts, const std::filesystem::path& to = {}) {
    view_.Unwake();
    controller_.Run(texts, '.', {.sync = false, .output = to.empty() ? output() : to});
  }
  // Ticks as the window's timer does until the dialog shows; false if the run ended first.
  // Once the dialog shows and its text starts with `text`; false once the run ends first.
  bool DialogShown(std::string_view text = "") {
    while (controller_.Tick(), !view_.dialog.shown || !view_.dialog.text.starts_with(text)) {
      if (view_.WokenYet()) {
        return false;
      }
    }
    return true;
  }
};

TEST_F(RunTest, DuringARunOnlyQuitWorks) {
  view_.focused = Control::Command2;
  Run({"0", "400", "0", "200", "200"});
  ASSERT_TRUE(controller_.Running());
  EXPECT_EQ(view_.focused, std::nullopt);  // no key meant for Run lands on quit
  EXPECT_TRUE(view_.ticking);
  for (const ControlDesign& design : kControls) {
    const bool works = design.kind == ControlKind::label || design.control == Control::Command3;
    EXPECT_EQ(controller_.Enabled(design.control), works) << design.name;
    EXPECT_EQ(view_.Enabled(design.control), works) << design.name;
  }
  ASSERT_TRUE(view_.Woken());
  controller_.Finished();
  EXPECT_FALSE(controller_.Running());
  EXPECT_FALSE(view_.ticking);
  EXPECT_FALSE(view_.dialog.shown);  // a short run shows nothing
  EXPECT_EQ(view_.focused, Control::Command2);
  EXPECT_FALSE(view_.selected);
  EXPECT_EQ(view_.errors, std::vector<std::string>{});
  for (const ControlDesign& design : kControls) {
    EXPECT_TRUE(view_.Enabled(design.control)) << design.name;
  }
  EXPECT_EQ(std::filesystem::file_size(output()), 113u);
}

// The box tells the error while the window is shown; the focus goes to the field to mend, its
// text selected.
TEST_F(RunTest, AnErrorIsTheBoxsTextAndLeavesNoDialog) {
  for (const bool shown : {true, false}) {
    view_.shown = shown;
    view_.errors.clear();
    view_.focused = Control::Command2;
    Run({"0", "400", "0", "200", "0.4"});
    ASSERT_TRUE(view_.Woken());
    controller_.Finished();
    EXPECT_EQ(view_.errors,
              shown ? std::vector<std::string>{"Run-time error 3:\n\nDivision by zero: \"Grid "
                                               "Spacing\" is 0 (any spacing from -0.5 to 0.5 "
                                               "rounds to 0); enter a whole number other than 0."}
                    : std::vector<std::string>{});
    EXPECT_EQ(view_.focused, Control::Text5);
    EXPECT_TRUE(view_.selected);
    EXPECT_FALSE(view_.dialog.shown);
    EXPECT_EQ(Entries(), std::vector<std::string>{});
  }
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
  Run({"0", "4000", "0", "4000", "1"}, kOnWindows ? file : output());
  ASSERT_TRUE(DialogShown("Writing")) << "the run ended before the window's timer saw it";
  EXPECT_EQ(view_.dialog.text, "Writing " + target + "...");
  EXPECT_EQ(view_.dialog.button, "Cancel");
  EXPECT_FALSE(view_.dialog.done);
  ASSERT_TRUE(view_.Woken());
  controller_.Finished();
  const ProgressDialogState& done = view_.dialog;
  EXPECT_TRUE(done.shown && done.done);
  EXPECT_EQ(view_.announced, 1);
  EXPECT_EQ(done.steps, 1000);  // all of it
  EXPECT_EQ(done.button, "Close");
  EXPECT_EQ(done.text, "Done: " + target + " is written (366.5 MB).");
  EXPECT_EQ(std::filesystem::file_size(dir() / "kept" / "grid.csv"), 366'451'617u);
  controller_.Cancel();  // its Close button
  EXPECT_FALSE(view_.dialog.shown);
}

// A cancelled run keeps the file; the next run is not cancelled by it.
TEST_F(RunTest, CancelEndsTheRunAndKeepsTheFile) {
  controller_.SetProgressDelay(0);
  Run({"0", "3000", "0", "3000", "1"});
  ASSERT_TRUE(DialogShown());
  controller_.Cancel();
  EXPECT_FALSE(view_.dialog.shown);
  controller_.Tick();
  EXPECT_FALSE(view_.dialog.shown);  // and stays gone
  ASSERT_TRUE(view_.Woken());
  controller_.Finished();
  EXPECT_FALSE(view_.dialog.shown);
  EXPECT_EQ(view_.errors, std::vector<std::string>{});
  EXPECT_EQ(Entries(), std::vector<std::string>{});
  Run({"0", "400", "0", "200", "200"});
  ASSERT_TRUE(view_.Woken());
  controller_.Finished();
  EXPECT_EQ(std::filesystem::file_size(output()), 113u);
}

// Once shown, the dialog keeps up with the run to its end, from the reservation to the saving,
// although a run that close to its end would not show it.
TEST_F(RunTest, TheDialogKeepsUpOnceShown) {
  ToldRun told;
  RunController controller{view_, std::ref(told), 1};
  controller.Run({"0", "1", "0", "1", "1"}, '.');
  told.Tell(
      {.bytes_done = 5'150'000'000, .bytes_total = 10'300'000'000, .path = "/grid/newgrid.txt"});
  while (controller.Tick(), !view_.dialog.shown) {
  }
  EXPECT_EQ(view_.dialog.text, "Reserving 10.3 GB on the disk\u2026");
  EXPECT_EQ(view_.dialog.steps, 500);
  told.Tell({.bytes_done = 50,
             .bytes_total = 100,
             .stage = grid::GridStage::writing,
             .path = "/grid/newgrid.txt"});
  controller.Tick();
  EXPECT_EQ(view_.dialog.text, "Writing /grid/newgrid.txt...");
  EXPECT_EQ(view_.dialog.steps, 500);
  told.Tell({.bytes_done = 999'999,
             .bytes_total = 1'000'000,
             .stage = grid::GridStage::saving,
             .path = "/grid/newgrid.txt"});
  controller.Tick();
  EXPECT_EQ(view_.dialog.text, "Saving /grid/newgrid.txt to disk...");
  EXPECT_EQ(view_.dialog.steps, 999);
  told.End(1'000'000);
  ASSERT_TRUE(view_.Woken());
  controller.Finished();
  EXPECT_EQ(view_.dialog.text, "Done: /grid/newgrid.txt is written (1.0 MB).");
}

// A window that closes during a run does not wait for the run to end.
TEST_F(RunTest, DestroyingTheControllerCancelsTheRun) {
  std::atomic<bool> cancelled{false};
  const auto until_cancelled = [&](const grid::GridPlan&, const grid::RunOptions& options) {
    const auto give_up = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < give_up) {
      if (!options.progress({.bytes_done = 1, .bytes_total = 100})) {
        cancelled = true;
        break;
      }
      std::this_thread::yield();
    }
    return RunOutcome{.cancelled = cancelled};
  };
  std::optional<RunController> controller;
  controller.emplace(view_, until_cancelled);
  controller->Run({"0", "1", "0", "1", "1"}, '.');
  controller.reset();
  EXPECT_TRUE(cancelled);
}

// Run asks before it writes a grid that differs from the fields, and only then: Go back writes
// nothing and puts the focus in the field the first difference is about, its text selected;
// Write writes it; texts Run refuses give their error box alone. Run, and Run's description,
// each plan the texts once. Once written, files that
// describe a grid beside it are told in the dialog, also after a short run.
TEST_F(RunTest, AsksBeforeALossyGridAndTellsOfFilesBesideIt) {
  struct Case {
    grid::FieldTexts texts;
    bool write;
    const char* asked;  // the question's first difference, or nothing
    std::optional<Control> focus;
    std::uintmax_t bytes;  // written, or 0 for nothing
    std::vector<const char*> beside;
  };
  const std::string spacing = "\"Grid Spacing\" 2.5 is used as 2, a whole number.";
  // clang-format off
  const Case cases[] = {
      {{"0", "400", "0", "200", "2.5"}, false, spacing.c_str(), Control::Text5, 0, {}},
      {{"0", "400", "0", "200", "2.5"}, true, spacing.c_str(), std::nullopt, 356'821, {}},
      {{"10", "0", "0", "10", "5"}, false, "No point is written: \"Minimum x value\" 10 is above \"Maximum x value\" 0.", Control::Text1, 0, {}},
      {{"0", "2.99999999", "0", "1", "1"}, false, "The last column, at 3, lies past \"Maximum x value\" 2.99999999.", Control::Text2, 0, {}},
      {{"1.1", "4.1", "0", "0", "1.4"}, false, "\"Grid Spacing\" 1.4 is used as 1, a whole number.\n\"Maximum x value\" 4.1 is not reached", Control::Text5, 0, {}},
      {{"0", "400", "0", "200", "200"}, false, nullptr, std::nullopt, 113, {}},
      {{"0", "400", "0", "200", "200"}, false, nullptr, std::nullopt, 113, {".prj", ".vrt"}},
      {{"0", "400", "0", "200", "0.4"}, false, nullptr, Control::Text5, 0, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    const std::string name = c.texts.spacing + (c.write ? ", Write" : ", Go back");
    std::filesystem::remove_all(dir());
    std::filesystem::create_directory(dir());
    for (const char* extension : c.beside) {
      const std::filesystem::path beside =
          std::filesystem::path(output()).replace_extension(extension);
      // A link to nothing is told as much as a file (Wine makes no link a program could follow).
      if (!kOnWindows && std::string_view(extension) == ".prj") {
        std::filesystem::create_symlink("nowhere", beside);
      } else {
        std::ofstream(beside) << "earlier";
      }
    }
    view_.questions.clear();
    view_.errors.clear();
    view_.dialog = {};
    view_.selected = false;
    view_.answer_write = c.write;
    view_.focused = Control::Command2;
    plans_ = 0;
    Run(c.texts);
    EXPECT_EQ(plans_, 1) << name << ": a press of Run plans its texts once";
    controller_.Describe(c.texts, '.', "/f", "");
    EXPECT_EQ(plans_, 2) << name << ": Run's description plans its texts once";
    ASSERT_EQ(view_.questions.size(), c.asked ? 1u : 0u) << name;
    if (c.asked) {
      EXPECT_TRUE(view_.questions[0].starts_with(
          "The grid will not be exactly what the fields say:\n\n" + std::string(c.asked)))
          << view_.questions[0];
      EXPECT_TRUE(view_.questions[0].ends_with("\n\nWrite it anyway?")) << view_.questions[0];
    }
    if (controller_.Running()) {
      ASSERT_TRUE(view_.Woken());
      controller_.Finished();
    }
    EXPECT_EQ(view_.errors.size(), c.texts.spacing == "0.4" ? 1u : 0u) << name;
    if (c.focus) {
      EXPECT_EQ(view_.focused, *c.focus) << name;
      EXPECT_TRUE(view_.selected) << name;
    }
    const bool written = std::filesystem::exists(output());
    EXPECT_EQ(written ? std::filesystem::file_size(output()) : 0, c.bytes) << name;
    EXPECT_EQ(view_.dialog.shown, !c.beside.empty()) << name;
    if (!c.beside.empty()) {
      EXPECT_TRUE(view_.dialog.text.ends_with(
          "\nnewgrid.prj and newgrid.vrt beside it were not written by this run: GIS may read "
          "the grid with what they say."))
          << view_.dialog.text;
    }
  }
}

// A run shows its dialog once it has lasted the delay and looks set to last half as long again.
TEST(ProgressRuleTest, ShowsALongRunOnly) {
  struct Case {
    std::int64_t elapsed_ms;
    int show_after_ms;
    double done;
    bool shown;
  };
  // clang-format off
  for (const Case& c : {Case{999, 1000, 0.0, false}, Case{1000, 1000, 0.0, true},
                        Case{1000, 1000, 0.5, true}, Case{1000, 1000, 0.67, false},
                        Case{3000, 1000, 0.85, true}, Case{3000, 1000, 0.9, false},
                        Case{1000, 0, 1.0, true}, Case{5, 0, 0.999, true}}) {
    // clang-format on
    EXPECT_EQ(ShowProgressNow(c.elapsed_ms, c.show_after_ms, c.done), c.shown)
        << c.elapsed_ms << " ms of " << c.show_after_ms << ", " << c.done << " done";
  }
}

// Whatever a run raises on the worker thread ends as a run-time error, never the program.
TEST_F(RunTest, AnyFailureOfARunIsARunTimeError) {
  grid::RunOptions options{.output = output()};
  options.progress = [](const grid::GridProgress&) -> bool {
    throw std::runtime_error("the machine said no");
  };
  const RunOutcome outcome = RunGrid(PlanFields({"0", "400", "0", "200", "200"}, '.'), options);
  EXPECT_EQ(outcome.error_number, 6);
  EXPECT_EQ(outcome.error_description, "System error: the machine said no");
  EXPECT_EQ(Entries(), std::vector<std::string>{});
}

}  // namespace
}  // namespace window
