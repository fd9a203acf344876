#include "platform/launch/startup_notify.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdlib>
#include <cstring>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace zarn_ui::launch {

namespace {

constexpr std::size_t PIECE = 20; // bytes of text in one client message

} // namespace

std::optional<std::string> take_startup_token() {
  std::optional<std::string> token;
  for (char const* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
    if (char const* value = std::getenv(name); value != nullptr && *value != '\0' && !token) {
      token = value;
    }
  }
  // Read, not yet removed: SDL's Wayland driver takes XDG_ACTIVATION_TOKEN when the window
  // opens, so only DESKTOP_STARTUP_ID goes now and the other after the window is up.
  unsetenv("DESKTOP_STARTUP_ID");
  return token;
}

std::string startup_remove_message(std::string_view id) {
  std::string out = "remove: ID=\"";
  for (char const c : id) {
    if (c == '"' || c == '\\') {
      out += '\\';
    }
    out += c;
  }
  out += '"';
  return out;
}

std::vector<std::string> startup_message_pieces(std::string_view message) {
  std::string text(message);
  text += '\0';
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < text.size(); at += PIECE) {
    std::string piece = text.substr(at, PIECE);
    piece.resize(PIECE, '\0');
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

void complete_startup(SDL_Window* window, std::string_view token) {
  unsetenv("XDG_ACTIVATION_TOKEN");
  if (token.empty() || window == nullptr) {
    return;
  }
#if defined(SDL_VIDEO_DRIVER_X11)
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) {
    return;
  }
  Display* display = info.info.x11.display;
  Window const xwindow = info.info.x11.window;
  std::string const id(token);
  // The window manager matches the id (and the time in it) against the launch it started.
  XChangeProperty(display, xwindow, XInternAtom(display, "_NET_STARTUP_ID", False),
                  XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<unsigned char const*>(id.data()), static_cast<int>(id.size()));
  Atom const begin = XInternAtom(display, "_NET_STARTUP_INFO_BEGIN", False);
  Atom const more = XInternAtom(display, "_NET_STARTUP_INFO", False);
  Window const root = DefaultRootWindow(display);
  auto const pieces = startup_message_pieces(startup_remove_message(id));
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.message_type = i == 0 ? begin : more;
    event.xclient.display = display;
    event.xclient.window = xwindow;
    event.xclient.format = 8;
    std::memcpy(event.xclient.data.b, pieces[i].data(), PIECE);
    XSendEvent(display, root, False, PropertyChangeMask, &event);
  }
  XFlush(display);
#endif
}

} // namespace zarn_ui::launch
