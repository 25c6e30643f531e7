#include "file/replacement.h"

#include <algorithm>
#include <random>

#include "file/replacement_state.h"
#include "file/shown_text.h"

namespace file {

Replacement::Replacement() : state_(detail::NewState()) {}

Replacement::Replacement(const std::filesystem::path& target, std::uint64_t size,
                         const ReplaceOptions& options)
    : Replacement() {
  detail::Shared(*state_).options = options;
  detail::Find(*state_, target);
  Make(size);
}

Replacement::Replacement(const Replacement& beside, const std::filesystem::path& name,
                         std::uint64_t size, const ReplaceOptions& options)
    : Replacement() {
  detail::Shared(*state_).options = options;
  detail::FindBeside(*state_, *beside.state_, name);
  Make(size);
}

void Replacement::Make(std::uint64_t size) {
  try {
    detail::CheckTarget(*state_);
    detail::SweepLeftovers(*state_);
    detail::Create(*state_, size);
  } catch (...) {
    Abandon();
    throw;
  }
}

Replacement::~Replacement() {
  if (!detail::Shared(*state_).committed) {
    Abandon();
  }
}

bool Replacement::SameTarget(const Replacement& other) const {
  return detail::SameTarget(*state_, *other.state_);
}

bool Replacement::Reaches(const std::filesystem::path& name, bool in_current_folder) const {
  const Replacement look;
  try {
    if (in_current_folder) {
      detail::Find(*look.state_, name);
    } else {
      detail::FindBeside(*look.state_, *state_, name);
    }
  } catch (const Failure&) {
    return false;
  }
  return detail::SameTarget(*state_, *look.state_);
}

bool Replacement::NamedAs(std::string_view name) const {
  return detail::NamedAs(*state_, name);
}

std::string Replacement::ExistingStart(std::size_t size) const {
  return detail::ReadStart(*state_, size);
}

const std::shared_ptr<NewFile>& Replacement::file() const {
  return detail::Shared(*state_).shared;
}

const std::string& Replacement::ShownPath() const {
  return detail::Shared(*state_).shown;
}

std::filesystem::path Replacement::GivenName() const {
  return detail::GivenName(*state_);
}

std::string Replacement::ShownGiven() const {
  return detail::ShownGiven(*state_);
}

void Replacement::BeginWriting() {
  detail::BeginWriting(*state_);
}

void Replacement::Commit() {
  detail::Commit(*state_);
}

void Replacement::Abandon() {
  detail::Abandon(*state_);
}

bool Replacement::Overwriting() const {
  return detail::Shared(*state_).overwriting;
}

bool Replacement::LockNames(const std::function<bool()>& keep_going) {
  return detail::LockNames(*state_, keep_going);
}

void Replacement::UnlockNames() {
  detail::UnlockNames(*state_);
}

const std::string& Replacement::NamesUnlocked() const {
  return detail::Shared(*state_).unlocked;
}

void Replacement::Fail(std::error_code error) const {
  detail::FailWriting(detail::Shared(*state_), error);
}

namespace detail {

void FailWriting(const ReplacementState& state, std::error_code error) {
  FailOnFile(
      error.message() + (state.overwriting ? "; written in place, the file is now empty" : ""),
      state.shown);
}

void FailNameTaken(const ReplacementState& state) {
  FailOnFile(
      "another program made a file of this name during the run, which is left as it is; "
      "the new " +
          state.options.what + " was not kept: run again",
      state.shown);
}

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
}  // namespace file
