// What the parts of the Linux replacement share: the state of one replacement and the helpers
// they all use. Each part has its job: new_file.cpp creates the new file, commits it and
// sweeps what killed runs left; target.cpp walks the path by the links rule and asks what the
// target may refuse; rights.cpp copies the old file's rights and attributes; space.cpp claims
// the space within the limits.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "file/replacement_state.h"
#include "system/unix/descriptor.h"

namespace file::detail {

inline std::error_code Error(int error) {
  return {error, std::generic_category()};
}

inline std::string Reason(int error) {
  return Error(error).message();
}

using sys::Fd;
using sys::RetryOnInterrupt;

inline bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The new file's descriptor, and streaming it to the disk for a synced run.
class SystemFile final : public NewFile {
 public:
  SystemFile(Fd fd, bool sync) : fd_(std::move(fd)), sync_(sync), stream_(sync) {}

  std::error_code Write(const char* data, std::size_t size) override;
  std::error_code Finish() override;
  std::uint64_t BytesDone() const override { return bytes_done_; }
  std::error_code ReadAt(std::uint64_t offset, char* data, std::size_t size,
                         std::size_t& got) override;
  std::error_code WriteAt(std::uint64_t offset, const char* data, std::size_t size) override;
  std::error_code Size(std::uint64_t& size) const override;
  std::error_code Truncate(std::uint64_t size) override;

  int fd() const { return fd_.get(); }
  // Closes the descriptor and reports what the close reports: on a network file system that
  // can be the first word of a failed write.
  std::error_code Close() { return ::close(fd_.release()) == 0 ? std::error_code() : Error(errno); }

 private:
  Fd fd_;
  bool sync_;
  std::atomic<std::uint64_t> bytes_done_{0};
  // The writer thread's own: how far the file is written, how far its write-back is started,
  // how far it is on the disk, and whether the file system can stream.
  std::uint64_t written_ = 0;
  std::uint64_t started_ = 0;
  std::uint64_t on_disk_ = 0;
  bool stream_;
};

struct SystemState final : ReplacementState {
  Fd directory;  // the folder, held for the whole run
  bool directory_readable = false;
  std::string name;  // the name the file takes there
  // The folder that holds the name given, before a link there is followed, where that is not
  // the folder held (GivenFolder() is either); the name and that folder as messages name it.
  // Files named beside it are found from here.
  Fd given_folder;
  std::string given_name;
  std::string shown_given_folder;
  bool names_locked = false;  // the given folder, while the run's files take their names
  bool exists = false;
  struct stat existing {};
  Fd held_target;                    // the file found, held so that its number names it alone
  bool in_place = false;             // a writable file in a folder this user may not write
  bool claimed_beyond_end = false;   // in place, blocks were claimed past the old file's end
  std::uint64_t size_claimed = 0;    // the new file's size
  std::string hidden_name;           // the new file's name meanwhile, once it has one
  std::shared_ptr<SystemFile> file;  // the new file; `shared` for the writer
  // A second descriptor of the new file, taken with it: it keeps the lock while the first is
  // closed at the commit, and so the commit needs no descriptor it might not get.
  Fd keeper;
  uid_t give_to = static_cast<uid_t>(-1);  // the old owner, given the file at the commit
  // The rights CopyRights gave the new file: its permission bits and its access list, if any.
  mode_t granted_mode = 0;
  std::string granted_acl;
  // Whether the walk may end at one of this process's own descriptors (/dev/stdout), which a
  // stream is written into; and the one it ended at.
  bool streams = false;
  int own_descriptor = -1;

  void Find(const std::filesystem::path& target);
  void FindBeside(const SystemState& beside, const std::filesystem::path& name_beside);
  void Walk(std::deque<std::string> parts);
  void HoldTarget(const std::string& part, const struct stat& status);
  void KeepGivenFolder();
  int GivenFolder() const;
  void StartWalkAt(bool root);
  bool FollowLink(const std::string& part, const struct stat& status, bool last,
                  std::deque<std::string>& parts);
  void EnterFolder(const std::string& part, const struct stat& status);
  void CheckTarget();
  struct statx CheckFolder() const;
  void CheckExistingFile(const struct statx& folder) const;
  void SweepLeftovers();
  void Create(std::uint64_t size);
  Fd OpenInPlace() const;
  Fd OpenUnnamed() const;
  Fd CreateHidden();
  void ClaimSpace(std::uint64_t size);
  void CopyRights();
  mode_t NewFileMode(bool group_kept, mode_t& other_bits) const;
  void CopyAttributes(int fd, bool group_kept, mode_t mode, mode_t other_bits);
  void RecheckTarget();
  std::string PredictedHiddenName(int slot) const;
  std::string NextHiddenName(int attempt) const;
  std::string ProbeName(int attempt) const;
  void CheckRoomForName();
  void RemoveIfLeftover(const char* hidden);
  void LinkUnnamed(int fd);
  bool Holds(const std::string& name_there, int fd) const;
  int RenameIntoPlace() const;
  int NameNewFile();

  [[noreturn]] void Fail(int error) const { file::FailOnFile(Reason(error), shown); }
  [[noreturn]] void FailInFolder(int error) const {
    file::FailInFolder(Reason(error), shown_folder, Advice());
  }
};

// A name in a folder as messages show it.
std::string Within(const std::string& shown_folder, const std::string& name);

// How many hidden names a run tries that the next run can find without listing the folder.
inline constexpr int kPredictedSlots = 8;

// Whether `directory` is this process's own folder of descriptors, /proc/self/fd.
bool IsOwnDescriptorFolder(int directory);

// Claims `size` bytes for the new file `fd`, asking `options.reserving` between steps
// (space.cpp). Returns 0, or the errno; raises Cancelled.
int Reserve(int fd, std::uint64_t size, bool keep_size, const ReplaceOptions& options,
            std::string_view shown);
// Frees what a claim beside an old file took past its end, the file otherwise as it was.
void ReleaseBeyondEnd(int fd);

}  // namespace file::detail
