#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "platform/pollWaiter.h"

namespace {

// The one wait tells which descriptor is ready, sees a closed one, skips
// entries of -1, and ends at its time-out when nothing happens.
TEST(PollWaiter, ReadyClosedSkippedAndTimedOut) {
  int a[2], b[2];
  ASSERT_EQ(::pipe(a), 0);
  ASSERT_EQ(::pipe(b), 0);
  platform::PollWaiter waiter;
  qr::WaitFd fds[3] = {{a[0]}, {-1}, {b[0]}};

  // A short wait lasts its whole time too: a wait of 1 ms that returned at
  // once would turn every loop that waits in 1 ms steps into a busy loop.
  for (const int ms : {1, 2, 30}) {
    for (const bool watching : {true, false}) {
      SCOPED_TRACE(testing::Message() << ms << " ms, watching " << watching);
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(watching ? waiter.wait(fds, ms) : waiter.wait({}, ms), 0);
      EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(ms));
    }
  }

  ASSERT_EQ(::write(b[1], "x", 1), 1);
  EXPECT_EQ(waiter.wait(fds, 1000), 1);
  EXPECT_FALSE(fds[0].readable);
  EXPECT_FALSE(fds[1].readable);
  EXPECT_TRUE(fds[2].readable);

  ::close(a[1]);
  EXPECT_EQ(waiter.wait({fds, 1}, 1000), 1);
  EXPECT_TRUE(fds[0].closed);

  qr::WaitFd out{b[1], false, true};
  EXPECT_EQ(waiter.wait({&out, 1}, 0), 1);
  EXPECT_TRUE(out.writable);
  for (int fd : {a[0], b[0], b[1]}) ::close(fd);
}

}  // namespace
