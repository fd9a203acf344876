#include "platform/launch/window_bus.h"

#include <algorithm>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "platform/bus/app_bus.h"
#include "platform/bus/instance.h"
#include "platform/launch/loop_wake.h"
#include "platform/launch/startup_notify.h"
#include "platform/widget/widget.h"

namespace zarn_ui::launch {

namespace {

/// Without a bus the action of this start still runs, on this window.
void run_here(widget::Widget& widget, std::vector<bus::ActionSignature> const& actions,
              StartAction const& action) {
  auto const it = std::find_if(actions.begin(), actions.end(),
                               [&](auto const& a) { return a.id == action.id; });
  if (it == actions.end()) {
    spdlog::warn("the action given at start failed: no published action named '{}'", action.id);
    return;
  }
  std::string const arg = action.argument.value_or("null");
  auto const r = widget.invoke_action(
      it->effect, it->id, {reinterpret_cast<std::uint8_t const*>(arg.data()), arg.size()});
  if (!r) {
    spdlog::warn("the action given at start failed: {}", r.error());
  } else if (!*r) {
    spdlog::warn("the action given at start was not handled: {}", action.id);
  }
}

} // namespace

WindowBus::WindowBus(LaunchSpec const& application, LaunchArgs const& args, bool use_bus)
    : declared_(application.action_signatures), start_action_(args.action) {
  if (!use_bus || args.any_declared() || application.app_id.empty()) {
    return;
  }
  bus::BusOptions options;
  options.app_id = application.app_id;
  options.wake = push_wake;
  auto started = bus::AppBus::start(std::move(options));
  if (!started) {
    spdlog::info("running without the session bus: {}", started.error());
    return;
  }
  if ((*started)->owns_name()) {
    bus_ = std::move(*started);
    return;
  }
  started->reset();
  std::optional<bus::ForwardedAction> forwarded;
  if (args.action) {
    forwarded = bus::ForwardedAction{args.action->id, args.action->argument};
  }
  auto handed = bus::hand_off(application.app_id, std::nullopt, forwarded);
  if (handed) {
    spdlog::info("{} is already running; handed over to it", application.app_id);
    handed_off_ = LaunchResult{};
  } else {
    handed_off_ = tl::unexpected(
        LaunchError::failed(fmt::format("{} is already running and refused the hand-over: {}",
                                        application.app_id, handed.error())));
  }
}

WindowBus::~WindowBus() = default;

void WindowBus::attach(widget::Widget& widget) {
  actions_ = bus::published_signatures(widget, declared_);
  if (!start_action_) {
    return;
  }
  if (bus_) {
    bus_->queue_local_action(start_action_->id, start_action_->argument);
  } else {
    run_here(widget, actions_, *start_action_);
  }
  start_action_.reset();
}

void WindowBus::before_tick(widget::Widget& widget, State& state, SDL_Window* window) {
  if (!bus_) {
    return;
  }
  bus_->apply_queued(widget, state, actions_, [window](std::string const& token) {
    // The launcher's token first: with it the window manager lets the window come forward, and
    // the launcher stops its busy cursor.
    complete_startup(window, token);
    // Restoring a maximised window would shrink it; only a minimised one is restored.
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) != 0) {
      SDL_RestoreWindow(window);
    }
    SDL_RaiseWindow(window);
  });
}

void WindowBus::after_frame(widget::Widget& widget, State& state) {
  if (bus_) {
    bus_->send_replies(widget, state, actions_);
  }
}

std::optional<std::chrono::steady_clock::time_point> WindowBus::next_deadline() const {
  return bus_ ? bus_->next_enabled_check() : std::nullopt;
}

} // namespace zarn_ui::launch
