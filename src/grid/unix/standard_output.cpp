#include "grid/standard_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "grid/unix/write_all.h"

namespace grid {
namespace {

class StandardOutputFile final : public NewFile {
 public:
  explicit StandardOutputFile(bool sync) : sync_(sync) {}

  std::error_code Write(const char* data, std::size_t size) override {
    if (const int error = detail::WriteAll(STDOUT_FILENO, data, size)) {
      return {error, std::generic_category()};
    }
    done_ += size;
    return {};
  }

  // A pipe or a terminal has no disk to wait for.
  std::error_code Finish() override {
    struct stat status {};
    if (!sync_ || ::fstat(STDOUT_FILENO, &status) != 0 || !S_ISREG(status.st_mode)) {
      return {};
    }
    int result;
    do {
      result = ::fsync(STDOUT_FILENO);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? std::error_code() : std::error_code(errno, std::generic_category());
  }

  std::uint64_t BytesDone() const override { return done_; }

 private:
  bool sync_;
  std::atomic<std::uint64_t> done_{0};
};

}  // namespace

std::shared_ptr<NewFile> StandardOutput(bool sync) {
  return std::make_shared<StandardOutputFile>(sync);
}

}  // namespace grid
