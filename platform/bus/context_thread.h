#pragma once
// A thread that turns a GLib main context of its own, so that D-Bus is answered off the UI
// thread: the body runs with the context as the thread's default, turns the loop with
// `run_loop`, and `stop` ends the loop (also one that has not started turning yet) and joins.

#include <thread>
#include <utility>

#include <gio/gio.h>

namespace zarn_ui::bus {

class ContextThread {
public:
  /// Makes the context and its loop; no thread runs yet.
  ContextThread();
  /// Stops the thread first.
  ~ContextThread();
  ContextThread(ContextThread const&) = delete;
  ContextThread& operator=(ContextThread const&) = delete;

  /// Runs `body` on a new thread named `name` (a literal), with the context pushed as the
  /// thread's default while it runs. Throws std::system_error when no thread can start.
  template <class Body> void start(char const* name, Body body) {
    thread_ = std::thread([this, name, body = std::move(body)]() mutable {
      enter(name);
      body();
      leave();
    });
  }

  GMainContext* context() const { return context_; }

  /// From the body: turns the loop until `stop`.
  void run_loop();

  /// Runs `fn(data)` once on the thread, never on the caller's (an idle source).
  void post(GSourceFunc fn, gpointer data);

  /// Quits the loop, at once or as soon as it turns, and waits for the thread to end. Safe to
  /// call more than once.
  void stop();

private:
  void enter(char const* name);
  void leave();

  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::thread thread_;
};

} // namespace zarn_ui::bus
