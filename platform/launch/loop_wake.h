#pragma once
// The window loop's sleep and its wake-up. Other threads wake the loop with a registered SDL
// user event (push_wake, also the base::wake_ui waker while a window runs); the loop sleeps in
// wait_for_event until an event is queued or its next deadline passes. Nothing here polls.

#include <SDL.h>

#include <chrono>
#include <optional>

namespace zarn_ui::launch {

/// The event type of a wake-up, registered with SDL on first use.
Uint32 wake_event_type();

/// Queues a wake-up event; from any thread.
void push_wake();

/// While a window runs: base::wake_ui pushes the wake-up, and every event queued from any
/// thread wakes wait_for_event. Made after SDL starts, dropped before it shuts down.
class LoopWakeScope {
public:
  LoopWakeScope();
  ~LoopWakeScope();
  LoopWakeScope(LoopWakeScope const&) = delete;
  LoopWakeScope& operator=(LoopWakeScope const&) = delete;
};

/// Sleeps until an event is queued or `until` has passed (without `until`: until an event).
/// Video drivers that cannot wait for their own events (dummy, offscreen) would make SDL poll
/// every millisecond; under them the loop sleeps on a condition that a watch of SDL's queue
/// signals (such a window only gets events this process pushes).
void wait_for_event(std::optional<std::chrono::steady_clock::time_point> until);

} // namespace zarn_ui::launch
