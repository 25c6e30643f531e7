#include <random>

#include "grid/replacement_state.h"
#include "grid/shown_text.h"
// This system's, from the folder the build chose.
#include "system_state.h"

namespace grid {

Replacement::Replacement(const std::filesystem::path& target, std::uint64_t size,
                         const ReplaceOptions& options)
    : state_(std::make_unique<detail::SystemState>()) {
  state_->options = options;
  try {
    state_->Find(target);
    state_->CheckTarget();
    state_->SweepLeftovers();
    state_->Create(size);
  } catch (...) {
    Abandon();
    throw;
  }
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

}  // namespace detail
}  // namespace grid
