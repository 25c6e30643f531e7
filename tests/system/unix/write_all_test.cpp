// The loop that hands bytes to the system: every byte once, in order, whatever interrupts it.
#include "system/unix/write_all.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "support/test_files.h"

namespace sys {
namespace {

TEST(WriteAll, ReportsTheSystemsReason) {
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  const std::string data(10, 'x');
  EXPECT_EQ(sys::WriteAll(full, data.data(), data.size()), ENOSPC);
  ::close(full);
}

// A signal that interrupts a write before any byte went (a real one, to a writer blocked on a
// full pipe) is no failure, and a write cut short by it goes on where it stopped: every byte
// arrives once, in order.
TEST(WriteAll, GoesOnAfterASignalAndShortWrites) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  struct sigaction interrupt {};
  interrupt.sa_handler = [](int) {};  // no SA_RESTART: the blocked write returns EINTR
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGUSR1, &interrupt, &previous), 0);
  std::string data;  // numbered, far more than the pipe holds
  for (int i = 0; data.size() < 2'000'000; ++i) {
    data += std::to_string(i) + ",";
  }
  std::string received;
  const pthread_t writer = ::pthread_self();
  const std::string writer_state = "/proc/self/task/" + std::to_string(::gettid()) + "/stat";
  // Asleep in the kernel ("S" after the command's name) on a pipe that holds all it can.
  const auto blocked = [&] {
    int queued = 0;
    const std::string stat = testing_support::ReadFile(writer_state);
    return ::ioctl(ends[0], FIONREAD, &queued) == 0 && queued == ::fcntl(ends[0], F_GETPIPE_SZ) &&
           stat.compare(stat.rfind(')') + 2, 1, "S") == 0;
  };
  std::thread reader([&] {
    for (int i = 0; i < 5; ++i) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!blocked() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
      }
      ::pthread_kill(writer, SIGUSR1);
    }
    char chunk[4096];
    for (ssize_t got;
         received.size() < data.size() && (got = ::read(ends[0], chunk, sizeof chunk)) > 0;) {
      received.append(chunk, static_cast<std::size_t>(got));
    }
  });
  EXPECT_EQ(sys::WriteAll(ends[1], data.data(), data.size()), 0);
  ::close(ends[1]);  // the reader sees the end even when the write gave up early
  reader.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  ::close(ends[0]);
  EXPECT_TRUE(received == data) << received.size() << " of " << data.size() << " bytes";
}

}  // namespace
}  // namespace sys
