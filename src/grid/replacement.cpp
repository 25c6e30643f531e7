#include <algorithm>
#include <random>

#include "grid/replacement.h"
#include "grid/replacement_state.h"
#include "grid/run_error.h"
#include "grid/shown_text.h"
// This system's, from the folder the build chose.
#include "system_state.h"

namespace grid {

Replacement::Replacement() : state_(std::make_unique<detail::SystemState>()) {}

Replacement::Replacement(const std::filesystem::path& target, std::uint64_t size,
                         const ReplaceOptions& options)
    : Replacement() {
  state_->options = options;
  state_->Find(target);
  Make(size);
}

Replacement::Replacement(const Replacement& beside, const std::filesystem::path& name,
                         std::uint64_t size, const ReplaceOptions& options)
    : Replacement() {
  state_->options = options;
  state_->FindBeside(*beside.state_, name);
  Make(size);
}

void Replacement::Make(std::uint64_t size) {
  try {
    state_->CheckTarget();
    state_->SweepLeftovers();
    state_->Create(size);
  } catch (...) {
    Abandon();
    throw;
  }
}

bool Replacement::SameTarget(const Replacement& other) const {
  return detail::SameTarget(*state_, *other.state_);
}

bool Replacement::Reaches(const std::filesystem::path& name, bool in_current_folder) const {
  detail::SystemState look;
  try {
    if (in_current_folder) {
      look.Find(name);
    } else {
      look.FindBeside(*state_, name);
    }
  } catch (const RunError&) {
    return false;
  }
  return detail::SameTarget(*state_, look);
}

Replacement::~Replacement() {
  if (!state_->committed) {
    Abandon();
  }
}

const std::shared_ptr<NewFile>& Replacement::file() const {
  return state_->shared;
}

const std::string& Replacement::ShownPath() const {
  return state_->shown;
}

namespace detail {

std::string ReplacementState::Advice() const {
  return shown_folder == ShownCurrentFolder() ? options.folder_advice : "";
}

std::string HiddenName() {
  static thread_local std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<std::size_t> pick(0, kHiddenLetters.size() - 1);
  std::string name(kHiddenPrefix);
  for (std::size_t i = 0; i < kHiddenRandom; ++i) {
    name += kHiddenLetters[pick(random)];
  }
  return name;
}

bool IsHiddenName(std::string_view name) {
  const std::size_t letters_end = kHiddenPrefix.size() + kHiddenRandom;
  if (name.size() < letters_end || !name.starts_with(kHiddenPrefix)) {
    return false;
  }
  const std::string_view letters = name.substr(kHiddenPrefix.size(), kHiddenRandom);
  const std::string_view padding = name.substr(letters_end);
  return letters.find_first_not_of(kHiddenLetters) == std::string_view::npos &&
         padding.find_first_not_of(kHiddenPadding) == std::string_view::npos;
}

bool ReserveInSteps(std::uint64_t size, const ReplaceOptions& options, std::string_view shown,
                    const std::function<bool(std::uint64_t offset, std::uint64_t length)>& claim) {
  for (std::uint64_t reserved = 0; reserved < size;) {
    if (options.reserving && !options.reserving(shown, reserved)) {
      throw Cancelled{};
    }
    const std::uint64_t step = std::min(kReserveStep, size - reserved);
    if (!claim(reserved, step)) {
      return false;
    }
    reserved += step;
  }
  return true;
}

}  // namespace detail
}  // namespace grid
