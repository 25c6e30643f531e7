// The one way a run of the grid generation fails.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "file/failure.h"
#include "grid/fields.h"

namespace grid {

enum class ErrorKind {
  type_mismatch,     // a field is empty or not a number
  overflow,          // a value or count beyond the range of its type
  division_by_zero,  // the spacing is zero
  arithmetic,        // any other floating-point fault
  file,              // newgrid.txt cannot be written
  system,            // the machine cannot give the run what it needs (memory, a thread)
};

// Raised where the failure arises; the run is abandoned and the window reports it. The
// description starts with the kind's name ("Type mismatch", "Overflow", "Division by zero",
// "Arithmetic error", "File error") and goes on to say what to mend.
class RunError : public std::runtime_error {
 public:
  // `field`: the field whose text to mend, for an error about a typed value or the counts.
  RunError(ErrorKind kind, const std::string& detail, std::optional<Field> field = {});

  ErrorKind kind() const { return kind_; }
  // Stable and distinct for each kind: 1 to 6 in the order of ErrorKind.
  int number() const { return static_cast<int>(kind_) + 1; }
  std::string description() const { return what(); }
  // The description after the kind's name.
  const std::string& detail() const { return detail_; }
  std::optional<Field> field() const { return field_; }

 private:
  ErrorKind kind_;
  std::string detail_;
  std::optional<Field> field_;
};

// "Run-time error 5:", which heads every run-time error the programs say, in the window's box and
// on the console's line.
std::string RunErrorHeading(int number);

// What an allocation that failed is said as, wherever it failed; `left`, where a run was already
// writing, says which files it left empty ("; newgrid.txt, written in place, is now empty").
RunError OutOfMemory(std::string_view left = {});

// A file that could not be written, or what writing it needed, as the run's error: the one
// place where the file layer's failures become the run's.
RunError RunErrorOf(const file::Failure& failure);

}  // namespace grid
