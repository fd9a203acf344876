#pragma once
// SIGTERM and SIGINT as a request to close the window: the first one wakes the frame loop,
// which ends after the frame in progress and writes the document; a second one ends the
// process at once, as if nothing were installed. Not offered: other signals.

#include <thread>

namespace zarn_ui::launch {

/// Installs the handlers for its lifetime (one at a time; the previous handlers come back).
/// Needs SDL started: a signal is passed on to the loop as a wake-up event.
class QuitSignals {
public:
  QuitSignals();
  ~QuitSignals();
  QuitSignals(QuitSignals const&) = delete;
  QuitSignals& operator=(QuitSignals const&) = delete;

  /// Whether SIGTERM or SIGINT arrived since the handlers were installed.
  bool requested() const;

private:
  std::thread watcher_;
  bool installed_ = false;
};

} // namespace zarn_ui::launch
