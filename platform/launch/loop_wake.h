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

/// Sleeps until an event is queued or `until` has passed (without `until`: until an event).
/// Video drivers that cannot wait for their own events (dummy, offscreen) would make SDL poll
/// every millisecond; under them the loop sleeps on its own wake-up, which every event that
/// can reach such a window (pushed by this process) comes through.
void wait_for_event(std::optional<std::chrono::steady_clock::time_point> until);

}  // namespace zarn_ui::launch
