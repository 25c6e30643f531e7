#include "window/shared/texts.h"

#include "file/shown_text.h"
#include "grid/grid_account.h"
#include "grid/wording.h"

namespace window {

std::string HelpText(const std::string& folder) {
  return "This code will generate a regularly spaced point grid that is based on the user's "
         "inputs: min/max x,y values and the grid spacing. It is designed to generate the grid "
         "based upon UTM or State Plane coordinates.  If tried with latitude/longitude, the grid "
         "will not be regular (lat/long is a spherical coordinate system and the distance between "
         "degrees varies depending on the position on the globe).  As a quick example, you might "
         "need a 200m grid of points over a certain area of the world.  First, get the min/max "
         "UTM coordinates for that area, type them into the text boxes on the main form, type in "
         "'200' as the spacing, and hit 'run'.  The output will be a text file containing all "
         "your points (x,y, and a unique identifier).  This file is named 'newgrid.txt' and can "
         "be found in the folder tessaplan was started in, " +
         folder + ". This code compiled on 4 September, 2002.";
}

std::string ContactAddress() {
  return "https://www.example.org/tessaplan";
}

std::string ContactText() {
  return "For more information, contact the tessaplan developers at tessaplan@example.org or " +
         ContactAddress();
}

std::string RunErrorText(int number, const std::string& description) {
  return grid::RunErrorHeading(number) + "\n\n" + description;
}

std::string StartFolderAdvice() {
  return "tessaplan writes " + std::string(grid::kGridFileName) +
         " into the folder it was started in: start it from a folder you may write to (from the "
         "desktop's menu it starts in your home folder).";
}

std::string RunButtonDescription(const grid::GridPlan& plan, const std::string& folder,
                                 const std::string& digit_group) {
  const std::string file(grid::kGridFileName);
  std::string description = "Writes " + file + " in " + folder;
  if (plan.refusal) {
    description += "\nRun will stop: " + grid::RunErrorHeading(plan.refusal->number()) + " " +
                   plan.refusal->description();
  } else {
    description = "Writes " +
                  grid::Counted(plan.grid.counts.points(), "point", "points", digit_group) + " (" +
                  file::SizeText(plan.FileSize()) + ") to " + file + " in " + folder;
  }
  // What the file loses against the typed values, one sentence a line.
  for (const grid::AccountItem& loss : plan.account) {
    description += "\n" + loss.text;
  }
  return description;
}

std::string LossQuestionText(const std::vector<grid::AccountItem>& items) {
  std::string text = "The grid will not be exactly what the fields say:\n";
  for (const grid::AccountItem& item : items) {
    text += "\n" + item.text;
  }
  return text + "\n\nWrite it anyway?";
}

std::string LeftBesideText(const std::vector<std::string>& names) {
  if (names.empty()) {
    return {};
  }
  return grid::Listed(names) + " beside it " + (names.size() == 1 ? "was" : "were") +
         " not written by this run: GIS may read the grid with what " +
         (names.size() == 1 ? "it says." : "they say.");
}

std::string ProgressText(grid::GridStage stage, const std::string& path, std::uint64_t bytes) {
  switch (stage) {
    case grid::GridStage::reserving:
      return "Reserving " + file::SizeText(bytes) + " on the disk\u2026";
    case grid::GridStage::writing:
      return "Writing " + path + "...";
    case grid::GridStage::saving:
      break;
  }
  return "Saving " + path + " to disk...";
}

std::string WrittenText(const std::string& path, std::uint64_t bytes) {
  return "Done: " + path + " is written (" + file::SizeText(bytes) + ").";
}

std::string UsageText() {
  return "Usage: tessaplan [--help] [--version]\n\n"
         "Writes a regular, square grid of points to newgrid.txt in the current folder.\n"
         "The extent and the spacing are typed into its window. For scripts, tessaplan-grid "
         "writes the same grid from the command line (see tessaplan-grid --help).\n";
}

std::string Version() {
  return TESSAPLAN_VERSION;
}

std::string VersionText() {
  return "tessaplan " + Version() + "\n";
}

std::string CommandLineError(const std::string& problem) {
  std::string said = problem;
  while (!said.empty() && (said.back() == '.' || said.back() == ' ')) {
    said.pop_back();  // one sentence, then the pointer to --help
  }
  return "tessaplan: " + said + " (see tessaplan --help)\n";
}

}  // namespace window
