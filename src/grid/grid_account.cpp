#include "grid/grid_account.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "grid/exact_decimal.h"
#include "grid/fields.h"
#include "grid/format_single.h"
#include "grid/point_file.h"
#include "grid/run_error.h"
#include "grid/text_to_number.h"

namespace grid {
namespace {

// Every value of an axis is compared as a whole number of 10^-scale: the typed minimum and
// maximum, the spacing and each written text, so that no rounding enters the comparison. Typed
// digits beyond this many decimals are cut; every written text has fewer.
constexpr std::int64_t kMaxScale = 100;

// A written text's value: `whole` times 10^exponent, `whole` without trailing zeros, so that
// equal values are equal here.
struct Written {
  bool negative = false;
  std::uint32_t whole = 0;  // seven digits at most
  std::int32_t exponent = 0;
  friend bool operator==(const Written&, const Written&) = default;
};

// Read from the characters FormatSingle writes ("-1.310001E+07", "0.25", "4000000"), seven
// digits at most: done for every column and row, so without a string or an allocation.
Written WrittenValue(std::string_view text) {
  const DecimalParts parts = *ScanDecimal(text, '.');
  Written value;
  value.negative = parts.negative;
  const auto take = [&value](std::string_view digits) {
    for (const char digit : digits) {
      value.whole = value.whole * 10 + static_cast<std::uint32_t>(digit - '0');
    }
  };
  take(parts.whole);
  take(parts.fraction);
  value.exponent =
      static_cast<std::int32_t>(parts.exponent) - static_cast<std::int32_t>(parts.fraction.size());
  for (; value.whole != 0 && value.whole % 10 == 0; value.whole /= 10) {
    ++value.exponent;
  }
  return value;
}

std::string Capitalized(std::string text) {
  text.front() = static_cast<char>(text.front() - 'a' + 'A');
  return text;
}

// One axis of the grid as typed and as written.
struct Axis {
  std::string_view line;   // "column" or "row"
  std::string_view lines;  // "columns" or "rows"
  Field min_field;
  Field max_field;
  std::string_view min_text;
  std::string_view max_text;
  Decimal min;
  Decimal max;
  int count;                  // whole spacings, so count + 1 lines
  std::vector<float> values;  // as written, one for each line
  std::vector<Written> written;
  WrittenForm form;
};

// A value as the file writes it, for a message to quote.
std::string AsWritten(float value, WrittenForm form) {
  const std::string text = FormatSingle(value);
  return form == WrittenForm::point_file ? PlainDecimal(text) : text;
}

// Where the last line lies, at `exact`, against the typed maximum: short of it by a whole `step`
// or more, or past it.
void AccountForLastLine(const Axis& axis, const WholeNumber& exact, const WholeNumber& step,
                        bool ascending, std::int64_t scale, std::vector<AccountItem>& items) {
  const WholeNumber max = WholeNumber::Scaled(axis.max, scale);
  const WholeNumber next = exact + step;
  if (ascending ? !(max < next) : !(next < max)) {
    items.push_back({Named(axis.max_field, axis.max_text) + " is not reached: the last " +
                         std::string(axis.line) + " is at " + exact.Text(scale) +
                         ", though one more spacing, to " + next.Text(scale) + ", stays within it.",
                     axis.max_field});
  } else if (ascending ? max < exact : exact < max) {
    items.push_back({"The last " + std::string(axis.line) + ", at " + exact.Text(scale) +
                         ", lies past " + Named(axis.max_field, axis.max_text) + ".",
                     axis.max_field});
  }
}

void AccountForLines(const Axis& axis, std::int16_t spacing, std::int64_t scale,
                     std::vector<AccountItem>& items) {
  // Typed digits beyond the scale (a minimum typed with more decimals than any text can have)
  // put every line away from where the fields put it.
  const bool min_cut = DecimalsOf(axis.min) > scale;
  const WholeNumber step = WholeNumber::Of(
      spacing < 0, static_cast<std::uint64_t>(spacing < 0 ? -spacing : spacing), scale);
  WholeNumber exact = WholeNumber::Scaled(axis.min, scale);
  int away = 0;
  int worst = -1;
  WholeNumber worst_difference;
  WholeNumber worst_exact;
  int alike = -1;
  for (int i = 0; i <= axis.count; ++i) {
    const Written& written = axis.written[static_cast<std::size_t>(i)];
    const WholeNumber at =
        WholeNumber::Of(written.negative, written.whole, written.exponent + scale);
    const WholeNumber difference = Distance(at, exact);
    if (min_cut || !(difference == WholeNumber())) {
      ++away;
      if (worst < 0 || worst_difference < difference) {
        worst = i;
        worst_difference = difference;
        worst_exact = exact;
      }
    }
    if (i > 0 && alike < 0 && written == axis.written[static_cast<std::size_t>(i) - 1]) {
      alike = i;
    }
    if (i < axis.count) {
      exact = exact + step;
    }
  }
  const std::string lines =
      std::to_string(axis.count + 1) + " " + std::string(axis.count == 0 ? axis.line : axis.lines);
  const std::string written_away = std::to_string(away) + " of " + lines +
                                   (away == 1 ? " is" : " are") +
                                   " written away from where the fields put them, by ";
  if (away > 0 && worst_difference == WholeNumber()) {
    // Only by digits of the minimum past the account's resolution: the difference shows as 0
    // there, and is said as less than that resolution.
    items.push_back({written_away + "less than 1E-" + std::to_string(scale) + ": " +
                         Named(axis.min_field, axis.min_text) +
                         " has digits past any value the file writes.",
                     axis.min_field});
  } else if (away > 0) {
    items.push_back({written_away + "up to " + worst_difference.Text(scale) + " (" +
                         std::string(axis.line) + " " + std::to_string(worst + 1) + ": " +
                         AsWritten(axis.values[static_cast<std::size_t>(worst)], axis.form) +
                         ", not " + worst_exact.Text(scale) + ").",
                     axis.min_field});
  }
  if (alike > 0) {
    items.push_back({Capitalized(std::string(axis.lines)) + " " + std::to_string(alike) + " and " +
                         std::to_string(alike + 1) + " are both written as " +
                         AsWritten(axis.values[static_cast<std::size_t>(alike)], axis.form) +
                         ": points share a written position.",
                     axis.min_field});
  }
  AccountForLastLine(axis, exact, step, spacing > 0, scale, items);
}

void AccountForAxis(Axis& axis, float first, std::int16_t spacing,
                    std::vector<AccountItem>& items) {
  std::int64_t scale = std::max(DecimalsOf(axis.min), DecimalsOf(axis.max));
  axis.values.reserve(static_cast<std::size_t>(axis.count) + 1);
  axis.written.reserve(static_cast<std::size_t>(axis.count) + 1);
  StepAxis(first, spacing, axis.count + 1, [&](int, float value) {
    char text[kMaxSingleText];
    const Written written = WrittenValue({text, FormatSingle(value, text)});
    axis.values.push_back(value);
    axis.written.push_back(written);
    scale = std::max<std::int64_t>(scale, -written.exponent);
  });
  AccountForLines(axis, spacing, std::min(scale, kMaxScale), items);
}

// Why an axis has no line: its minimum and maximum in the order the spacing's sign does not go.
std::string NoPoint(const Axis& axis, std::string_view spacing_text, std::int16_t spacing) {
  if (spacing > 0) {
    return "No point is written: " + Named(axis.min_field, axis.min_text) + " is above " +
           Named(axis.max_field, axis.max_text) + ".";
  }
  return "No point is written: " + Named(Field::spacing, spacing_text) + " is negative, but " +
         Named(axis.max_field, axis.max_text) + " is above " +
         Named(axis.min_field, axis.min_text) + ".";
}

}  // namespace

std::vector<AccountItem> AccountItems(const FieldTexts& texts, char decimal_separator,
                                      const GridInputs& inputs, const Checked<GridCounts>& counts,
                                      WrittenForm form) {
  std::vector<AccountItem> items;
  const Decimal typed_spacing = *ReadDecimal(texts.spacing, decimal_separator);
  if (Compare(typed_spacing, *ReadDecimal(std::to_string(inputs.spacing), '.')) != 0) {
    items.push_back({Named(Field::spacing, texts.spacing) + " is used as " +
                         std::to_string(inputs.spacing) + ", a whole number.",
                     Field::spacing});
  }
  if (counts.error) {
    return items;  // a zero spacing, or too many lines: Run's error says so
  }
  const auto axis = [&](bool columns) {
    return Axis{
        .line = columns ? "column" : "row",
        .lines = columns ? "columns" : "rows",
        .min_field = columns ? Field::min_x : Field::min_y,
        .max_field = columns ? Field::max_x : Field::max_y,
        .min_text = columns ? texts.min_x : texts.min_y,
        .max_text = columns ? texts.max_x : texts.max_y,
        .min = *ReadDecimal(columns ? texts.min_x : texts.min_y, decimal_separator),
        .max = *ReadDecimal(columns ? texts.max_x : texts.max_y, decimal_separator),
        .count = columns ? counts.value.column_count : counts.value.row_count,
        .values = {},
        .written = {},
        .form = form,
    };
  };
  Axis x = axis(true);
  Axis y = axis(false);
  if (counts.value.points() == 0) {
    for (const Axis* empty : {&x, &y}) {
      if (empty->count < 0) {
        items.push_back({NoPoint(*empty, texts.spacing, inputs.spacing), empty->min_field});
      }
    }
    return items;
  }
  AccountForAxis(x, inputs.min_x, inputs.spacing, items);
  AccountForAxis(y, inputs.min_y, inputs.spacing, items);
  return items;
}

}  // namespace grid
