#include "console/progress_line.h"

#include <cstdint>
#include <cstdio>

#include "console/console.h"
#include "file/shown_text.h"

namespace console {

void ProgressLine::Draw(const grid::GridProgress& progress) {
  const Clock::time_point now = Clock::now();
  // The speed and the time left are each stage's own: how fast the disk reserves says nothing
  // of how fast it writes.
  if (stage_ == grid::GridStage::reserving && progress.stage != stage_) {
    started_ = now;
  }
  stage_ = progress.stage;
  if (now - drawn_ < kRedrawEvery) {
    return;
  }
  drawn_ = now;
  const double seconds = std::chrono::duration<double>(now - started_).count();
  const double rate = seconds > 0 ? static_cast<double>(progress.bytes_done) / seconds : 0.0;
  const int percent = progress.bytes_total == 0
                          ? 100
                          : static_cast<int>(progress.bytes_done * 100 / progress.bytes_total);
  std::string text = std::to_string(percent) + "% of " + file::SizeText(progress.bytes_total);
  if (rate >= 1) {
    const auto left = static_cast<long long>(
        static_cast<double>(progress.bytes_total - progress.bytes_done) / rate + 0.5);
    char time_left[32];
    std::snprintf(time_left, sizeof time_left, "%lld:%02lld", left / 60, left % 60);
    text += ", " + file::SizeText(static_cast<std::uint64_t>(rate)) + "/s, " + time_left + " left";
  }
  switch (progress.stage) {
    case grid::GridStage::reserving:
      text += ", reserving space on the disk";
      break;
    case grid::GridStage::writing:
      text += ", writing";
      break;
    case grid::GridStage::saving:
      text += ", saving to the disk";
      break;
  }
  Show(text);
}

void ProgressLine::Clear() {
  if (shown_ > 0) {
    Show("");
    PrintError("\r");
  }
}

// Over the line before, with blanks where it was longer: no terminal control sequences, which
// not every console takes.
void ProgressLine::Show(const std::string& text) {
  std::string line = "\r" + text;
  if (text.size() < shown_) {
    line.append(shown_ - text.size(), ' ');
  }
  shown_ = text.size();
  PrintError(line);
}

}  // namespace console
