#pragma once
// Channel<T>: an unbounded multi-producer, single-consumer queue between threads.
// Senders are copyable; the receiver is unique. `send` fails once the receiver is gone;
// after the last sender goes, queued messages are still delivered, then the channel
// reports closed. A blocking receive wakes when the last sender goes. A receiver on the UI
// thread asks for `wake_ui_on_send`: each message, and the last sender going, then wakes the
// window's loop.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>

#include "base/ui_wake.h"

namespace base {

enum class RecvError { Empty, Closed };

template <class T> class Sender;
template <class T> class Receiver;
template <class T> std::pair<Sender<T>, Receiver<T>> channel();

namespace detail {

template <class T> struct ChannelState {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<T> queue;
  std::size_t senders = 0;
  bool receiver_alive = true;
  bool wakes_ui = false;
};

} // namespace detail

template <class T> class Sender {
public:
  Sender(Sender const& other) : state_(other.state_) { attach(); }
  Sender(Sender&& other) noexcept : state_(std::move(other.state_)) {}
  Sender& operator=(Sender other) noexcept {
    std::swap(state_, other.state_);
    return *this;
  }
  ~Sender() { detach(); }

  /// False once the receiver is gone: every later send fails.
  bool receiver_alive() const {
    std::lock_guard lock(state_->mutex);
    return state_->receiver_alive;
  }

  /// Queues a message; false when the receiver is gone (the message is dropped).
  bool send(T message) const {
    bool wake = false;
    {
      std::lock_guard lock(state_->mutex);
      if (!state_->receiver_alive) {
        return false;
      }
      state_->queue.push_back(std::move(message));
      wake = state_->wakes_ui;
    }
    state_->ready.notify_one();
    if (wake) {
      wake_ui();
    }
    return true;
  }

private:
  friend std::pair<Sender<T>, Receiver<T>> channel<T>();
  explicit Sender(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) {
    attach();
  }
  void attach() {
    if (state_) {
      std::lock_guard lock(state_->mutex);
      ++state_->senders;
    }
  }
  void detach() {
    if (!state_) {
      return;
    }
    bool last = false;
    bool wake = false;
    {
      std::lock_guard lock(state_->mutex);
      last = --state_->senders == 0;
      wake = last && state_->wakes_ui && state_->receiver_alive;
    }
    if (last) {
      state_->ready.notify_all();
    }
    if (wake) {
      wake_ui(); // the receiver learns that the channel closed
    }
    state_.reset();
  }

  std::shared_ptr<detail::ChannelState<T>> state_;
};

template <class T> class Receiver {
public:
  Receiver(Receiver const&) = delete;
  Receiver& operator=(Receiver const&) = delete;
  Receiver(Receiver&&) noexcept = default;
  Receiver& operator=(Receiver&& other) noexcept {
    if (this != &other) {
      close();
      state_ = std::move(other.state_);
    }
    return *this;
  }
  ~Receiver() { close(); }

  /// From now on every message (and the last sender going) wakes the UI loop.
  void wake_ui_on_send() {
    std::lock_guard lock(state_->mutex);
    state_->wakes_ui = true;
  }

  /// Takes the next message without waiting.
  std::variant<T, RecvError> try_recv() {
    std::lock_guard lock(state_->mutex);
    return take_locked();
  }

  /// Waits for the next message; nullopt once every sender is gone and the queue is empty.
  std::optional<T> recv() {
    std::unique_lock lock(state_->mutex);
    state_->ready.wait(lock, [&] { return !state_->queue.empty() || state_->senders == 0; });
    return pop_locked();
  }

  /// Waits at most `timeout`; Empty on time-out, Closed when no sender is left.
  template <class Rep, class Period>
  std::variant<T, RecvError> recv_timeout(std::chrono::duration<Rep, Period> timeout) {
    std::unique_lock lock(state_->mutex);
    state_->ready.wait_for(lock, timeout,
                           [&] { return !state_->queue.empty() || state_->senders == 0; });
    return take_locked();
  }

private:
  friend std::pair<Sender<T>, Receiver<T>> channel<T>();
  explicit Receiver(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) {}

  std::optional<T> pop_locked() {
    if (state_->queue.empty()) {
      return std::nullopt;
    }
    T message = std::move(state_->queue.front());
    state_->queue.pop_front();
    return message;
  }
  std::variant<T, RecvError> take_locked() {
    if (auto message = pop_locked()) {
      return std::move(*message);
    }
    return state_->senders == 0 ? RecvError::Closed : RecvError::Empty;
  }
  void close() {
    if (!state_) {
      return;
    }
    std::deque<T> dropped;
    {
      std::lock_guard lock(state_->mutex);
      state_->receiver_alive = false;
      dropped.swap(state_->queue);
    }
    state_.reset();
  }

  std::shared_ptr<detail::ChannelState<T>> state_;
};

/// A new channel: one sender (clone it for more) and its receiver.
template <class T> std::pair<Sender<T>, Receiver<T>> channel() {
  auto state = std::make_shared<detail::ChannelState<T>>();
  return {Sender<T>(state), Receiver<T>(state)};
}

} // namespace base
