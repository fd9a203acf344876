#pragma once
// Which X errors the process survives. SDL 2 wakes a waiting event loop by sending a client
// message over a second X connection to the most recently made window (the navigation card's,
// once it exists). A wake-up still queued at the server when that window is destroyed fails
// there with BadWindow, reported when SDL closes that connection at shutdown; Xlib's default
// handler would end the process for it. Only that error is let pass.

namespace zarn_ui::launch {

/// Installs, once per process and before SDL starts (so that SDL chains to it and puts it back
/// at shutdown), an X error handler that ignores BadWindow answers to SendEvent and hands every
/// other error to the handler that was there before. Does nothing without X11 support.
void tolerate_late_wakeups();

} // namespace zarn_ui::launch
