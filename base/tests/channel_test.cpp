#include "base/channel.h"

#include <gtest/gtest.h>

#include <thread>

using base::RecvError;

TEST(Channel, QueuedMessagesSurviveTheLastSender) {
  auto [tx, rx] = base::channel<int>();
  EXPECT_TRUE(tx.send(1));
  {
    auto copy = tx;
    EXPECT_TRUE(copy.send(2));
  }
  { auto gone = std::move(tx); }
  EXPECT_EQ(std::get<int>(rx.try_recv()), 1);
  EXPECT_EQ(rx.recv(), 2);
  EXPECT_EQ(std::get<RecvError>(rx.try_recv()), RecvError::Closed);
  EXPECT_EQ(rx.recv(), std::nullopt);
}

TEST(Channel, EmptyWhileASenderLives) {
  auto [tx, rx] = base::channel<int>();
  EXPECT_EQ(std::get<RecvError>(rx.try_recv()), RecvError::Empty);
  EXPECT_EQ(std::get<RecvError>(rx.recv_timeout(std::chrono::milliseconds(1))), RecvError::Empty);
}

TEST(Channel, SendFailsOnceTheReceiverIsGone) {
  auto [tx, rx] = base::channel<std::string>();
  EXPECT_TRUE(tx.send("kept"));
  { auto gone = std::move(rx); }
  EXPECT_FALSE(tx.send("dropped"));
}

TEST(Channel, BlockingReceiveWakesWhenTheLastSenderGoes) {
  auto [tx, rx] = base::channel<int>();
  std::thread worker([tx = std::move(tx)]() mutable {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto drop = std::move(tx);
  });
  EXPECT_EQ(rx.recv(), std::nullopt);
  worker.join();
}

TEST(Channel, DeliversAcrossThreadsInOrder) {
  auto [tx, rx] = base::channel<int>();
  std::thread worker([tx = std::move(tx)] {
    for (int i = 0; i < 1000; ++i) {
      tx.send(i);
    }
  });
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(rx.recv(), i);
  }
  worker.join();
  EXPECT_EQ(rx.recv(), std::nullopt);
}

namespace {
int wakes = 0;
void count_wake() {
  ++wakes;
}
} // namespace

TEST(Channel, OnlyAReceiverThatAskedWakesTheUiLoopOnEachMessageAndOnClosing) {
  base::set_ui_waker(&count_wake);
  wakes = 0;
  {
    auto [tx, rx] = base::channel<int>();
    EXPECT_TRUE(tx.send(1));
    EXPECT_EQ(wakes, 0) << "a worker's own channel wakes nobody";
  }
  auto [tx, rx] = base::channel<int>();
  rx.wake_ui_on_send();
  EXPECT_TRUE(tx.send(1));
  EXPECT_TRUE(tx.send(2));
  EXPECT_EQ(wakes, 2);
  { auto gone = std::move(tx); }
  EXPECT_EQ(wakes, 3) << "the closing is news to the UI too";
  base::set_ui_waker(nullptr);
  base::wake_ui();
  EXPECT_EQ(wakes, 3);
}
