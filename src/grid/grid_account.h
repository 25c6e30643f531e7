// What the written file loses against the typed fields. The file is what it is for every input
// (single-precision values, a whole-number spacing, seven significant digits); this says, before
// a run, where that puts a point elsewhere than the typed decimals do.
#pragma once

#include <string>
#include <vector>

#include "grid/fields.h"
#include "grid/grid_inputs.h"

namespace grid {

// One short sentence for each way the grid these texts write differs from the typed values:
// a spacing read as a whole number; no point written, and why; columns or rows written away from
// where the fields put them (the typed minimum plus a whole number of the spacing used, in exact
// decimals), or two written alike; a maximum not reached, or passed by the last column or row.
// Nothing for an exact grid, nor for counts Run refuses, whose error speaks; but a spacing read
// as 0 is told too. Checks each column and row once, never each point. Values are quoted as the
// file writes them: the grid's digits, or a point file's plain ones.
// Each sentence comes with the field whose text it is about, where the user would mend it:
// Grid Spacing for the spacing; a minimum for the columns or rows placed from it, for two
// written alike and for no point written; a maximum for one not reached or passed.
enum class WrittenForm { grid, point_file };
struct AccountItem {
  std::string text;
  Field field;
};
// Taken by the plan (plan.h) from the typed texts, the values they were read as and their counts.
std::vector<AccountItem> AccountItems(const FieldTexts& texts, char decimal_separator,
                                      const GridInputs& inputs, const Checked<GridCounts>& counts,
                                      WrittenForm form);

}  // namespace grid
