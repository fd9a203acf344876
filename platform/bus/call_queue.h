#pragma once
// The bus calls waiting for the UI thread, taken in turns: each caller's calls in the order they
// came, one caller after another, so that one caller's backlog never holds up the others.

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace zarn_ui::bus {

template <class T> class CallQueue {
public:
  void push(std::string const& caller, T call) {
    auto& calls = by_caller_[caller];
    if (calls.empty()) {
      turns_.push_back(caller);
    }
    calls.push_back(std::move(call));
    ++size_;
  }

  /// The oldest call of the caller whose turn it is; that caller then waits behind the others.
  std::optional<T> pop() {
    if (turns_.empty()) {
      return std::nullopt;
    }
    std::string caller = std::move(turns_.front());
    turns_.pop_front();
    auto it = by_caller_.find(caller);
    T call = std::move(it->second.front());
    it->second.pop_front();
    if (it->second.empty()) {
      by_caller_.erase(it);
    } else {
      turns_.push_back(std::move(caller));
    }
    --size_;
    return call;
  }

  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }

private:
  std::map<std::string, std::deque<T>> by_caller_;
  std::deque<std::string> turns_; // callers with calls waiting, the next one first
  std::size_t size_ = 0;
};

} // namespace zarn_ui::bus
