// What both windows say, in UTF-8: the Help and contact texts, the run-time error box, what the
// Run button and a run's progress tell of where the grid goes, and the command line's answers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "grid/generate_grid.h"
#include "grid/grid_account.h"
#include "grid/plan.h"

namespace window {

inline constexpr const char* kApplicationTitle = "tessaplan";  // the caption of every box
// The version, "1.00": the project's own, from the build.
std::string Version();

// The Help text, naming `folder` (as messages show it) as where newgrid.txt can be found.
std::string HelpText(const std::string& folder);
std::string ContactText();
// The part of the contact text that must never be broken across lines.
std::string ContactAddress();

// The error box's text for a run-time error.
std::string RunErrorText(int number, const std::string& description);
// Said after a File error about the folder the program was started in.
std::string StartFolderAdvice();

// The Run button's tooltip and accessible description: where Run writes; for texts that make a
// grid, how many points (grouped by `digit_group`, the locale's thousands separator, if any)
// and how many bytes, or for texts Run refuses, the error box's words; then a line for each way
// the file would differ from the typed values. Nothing is written or checked on the disk.
std::string RunButtonDescription(const grid::GridPlan& plan, const std::string& folder,
                                 const std::string& digit_group);

// The question Run asks before it writes a grid that differs from the fields: each of the
// account's sentences (the description's), then whether to write it; and its two buttons,
// "Go back" the default, which Escape and the close box answer too.
std::string LossQuestionText(const std::vector<grid::AccountItem>& items);
inline constexpr const char* kWriteCaption = "Write";
inline constexpr const char* kGoBackCaption = "Go back";

// Said once the grid is written, where files that describe a grid (`names`, "newgrid.prj") lie
// beside it, which this run did not write; empty for none.
std::string LeftBesideText(const std::vector<std::string>& names);

// The progress dialog's button during a run, and once it tells the grid is written.
inline constexpr const char* kCancelCaption = "Cancel";
inline constexpr const char* kCloseCaption = "Close";

// The progress dialog's text for `path`, the full path of newgrid.txt as messages show it,
// during the run's `stage`, and once the grid is written; `bytes` is the file's size.
std::string ProgressText(grid::GridStage stage, const std::string& path, std::uint64_t bytes);
std::string WrittenText(const std::string& path, std::uint64_t bytes);

// The command line: what --help prints, and how a wrong command line is answered.
std::string UsageText();
std::string VersionText();
std::string CommandLineError(const std::string& problem);

}  // namespace window
