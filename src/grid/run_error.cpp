#include "grid/run_error.h"

namespace grid {
namespace {

const char* KindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::type_mismatch:
      return "Type mismatch";
    case ErrorKind::overflow:
      return "Overflow";
    case ErrorKind::division_by_zero:
      return "Division by zero";
    case ErrorKind::arithmetic:
      return "Arithmetic error";
    case ErrorKind::file:
      return "File error";
    case ErrorKind::system:
      return "System error";
  }
  return "Error";
}

}  // namespace

RunError::RunError(ErrorKind kind, const std::string& detail, std::optional<Field> field)
    : std::runtime_error(std::string(KindName(kind)) + ": " + detail),
      kind_(kind),
      detail_(detail),
      field_(field) {}

std::string RunErrorHeading(int number) {
  return "Run-time error " + std::to_string(number) + ":";
}

RunError RunErrorOf(const file::Failure& failure) {
  return RunError(
      failure.kind() == file::Failure::Kind::system ? ErrorKind::system : ErrorKind::file,
      failure.what());
}

RunError OutOfMemory(std::string_view left) {
  return RunError(ErrorKind::system,
                  "out of memory" + std::string(left) + "; close other programs and run again.");
}

}  // namespace grid
