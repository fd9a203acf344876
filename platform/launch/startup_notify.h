#pragma once
// The launcher's startup notification: the token a launcher hands to the program it starts
// (XDG_ACTIVATION_TOKEN, DESKTOP_STARTUP_ID) or to a running one through Activate, given to the
// window so that the launcher's busy cursor stops and the window may be raised. On X11 the
// window carries it as _NET_STARTUP_ID and the "remove" message ends the notification; other
// video drivers take the token from the environment when the window opens.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SDL_Window;

namespace zarn_ui::launch {

/// The token this process was started with, read once; the variables are removed so that
/// programs started from here do not claim it.
std::optional<std::string> take_startup_token();

/// The X11 startup message that ends the notification with this id:
/// `remove: ID="<id>"` with backslashes and quotes escaped.
std::string startup_remove_message(std::string_view id);

/// The message as the protocol sends it: 20-byte pieces, the text ending in a NUL byte.
std::vector<std::string> startup_message_pieces(std::string_view message);

/// Hands the token to the window: on X11 it sets _NET_STARTUP_ID and broadcasts the remove
/// message. Nothing for an empty token or another video driver.
void complete_startup(SDL_Window* window, std::string_view token);

} // namespace zarn_ui::launch
