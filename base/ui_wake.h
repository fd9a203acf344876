#pragma once
// The UI loop's wake-up. While a window runs it installs a waker; threads that hand the UI
// thread work (request answers, tile replies, location fixes) call wake_ui after queueing it, so
// that a sleeping loop wakes at once instead of polling. Without a waker installed it does nothing.

namespace base {

using UiWaker = void (*)();

/// Installs `waker` (nullptr removes it). Removing waits until no wake_ui is inside the old one,
/// so the window may shut its event system down right after.
void set_ui_waker(UiWaker waker);

/// Calls the installed waker, from any thread.
void wake_ui();

} // namespace base
