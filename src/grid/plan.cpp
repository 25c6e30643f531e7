#include "grid/plan.h"

#include <new>

namespace grid {

std::vector<std::string> GridPlan::Losses() const {
  std::vector<std::string> sentences;
  for (const AccountItem& item : account) {
    sentences.push_back(item.text);
  }
  return sentences;
}

void GridPlan::Check() const {
  if (refusal) {
    throw *refusal;
  }
}

GridPlan PlanGrid(const FieldTexts& texts, char decimal_separator,
                  const std::optional<PointFileOptions>& point_file) {
  try {
    GridPlan plan;
    plan.texts = texts;
    plan.decimal_separator = decimal_separator;
    plan.point_file = point_file;
    const Checked<GridInputs> inputs = CheckInputs(texts, decimal_separator);
    if (inputs.error) {
      plan.refusal = inputs.error;
      return plan;
    }
    plan.inputs = inputs.value;
    const Checked<GridCounts> counts = CheckCounts(inputs.value);
    plan.account = AccountItems(texts, decimal_separator, inputs.value, counts,
                                point_file ? WrittenForm::point_file : WrittenForm::grid);
    if (counts.error) {
      plan.refusal = counts.error;
      return plan;
    }
    plan.grid = MeasureGrid(inputs.value, counts.value);
    if (point_file) {
      const PointLines lines(inputs.value, counts.value, *point_file);
      plan.point_file_bytes = lines.Bytes();
      plan.last_number = lines.LastNumber();
    }
    return plan;
  } catch (const std::bad_alloc&) {
    throw OutOfMemory();
  }
}

}  // namespace grid
