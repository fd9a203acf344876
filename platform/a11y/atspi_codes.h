#pragma once
// The numbers of the accessibility bus protocol this bridge uses: roles, states, coordinate
// kinds, the well-known names and paths. Values are the protocol's own; they never change.

#include <cstdint>

namespace zarn_ui::a11y {

namespace atspi_role {
inline constexpr std::uint32_t INVALID = 0;
inline constexpr std::uint32_t CANVAS = 6;
inline constexpr std::uint32_t DIALOG = 16;
inline constexpr std::uint32_t FRAME = 23;
inline constexpr std::uint32_t LABEL = 29;
inline constexpr std::uint32_t LIST = 31;
inline constexpr std::uint32_t LIST_ITEM = 32;
inline constexpr std::uint32_t MENU = 33;
inline constexpr std::uint32_t MENU_ITEM = 35;
inline constexpr std::uint32_t PANEL = 39;
inline constexpr std::uint32_t PUSH_BUTTON = 43;
inline constexpr std::uint32_t RADIO_BUTTON = 44;
inline constexpr std::uint32_t STATUS_BAR = 54;
inline constexpr std::uint32_t TOGGLE_BUTTON = 62;
inline constexpr std::uint32_t APPLICATION = 75;
inline constexpr std::uint32_t ENTRY = 79;
inline constexpr std::uint32_t HEADING = 83;
} // namespace atspi_role

namespace atspi_state {
inline constexpr std::uint32_t ACTIVE = 1;
inline constexpr std::uint32_t CHECKED = 4;
inline constexpr std::uint32_t EDITABLE = 7;
inline constexpr std::uint32_t ENABLED = 8;
inline constexpr std::uint32_t FOCUSABLE = 11;
inline constexpr std::uint32_t FOCUSED = 12;
inline constexpr std::uint32_t MODAL = 16;
inline constexpr std::uint32_t SENSITIVE = 24;
inline constexpr std::uint32_t SHOWING = 25;
inline constexpr std::uint32_t SINGLE_LINE = 26;
inline constexpr std::uint32_t VISIBLE = 30;
inline constexpr std::uint32_t CHECKABLE = 41;
} // namespace atspi_state

/// Politeness of an announcement: spoken after what is being said.
inline constexpr std::int32_t LIVE_POLITE = 1;

/// Coordinates of Component calls.
inline constexpr std::uint32_t COORD_SCREEN = 0;
inline constexpr std::uint32_t COORD_WINDOW = 1;
inline constexpr std::uint32_t COORD_PARENT = 2;

/// Text granularities of GetStringAtOffset.
inline constexpr std::uint32_t GRANULARITY_CHAR = 0;
inline constexpr std::uint32_t GRANULARITY_LINE = 3;
inline constexpr std::uint32_t GRANULARITY_PARAGRAPH = 4;

/// Component layers.
inline constexpr std::uint32_t LAYER_WIDGET = 3;
inline constexpr std::uint32_t LAYER_WINDOW = 7;

inline constexpr char const* A11Y_BUS_NAME = "org.a11y.Bus";
inline constexpr char const* A11Y_BUS_PATH = "/org/a11y/bus";
inline constexpr char const* REGISTRY_NAME = "org.a11y.atspi.Registry";
inline constexpr char const* ACCESSIBLE_PREFIX = "/org/a11y/atspi/accessible";
inline constexpr char const* ROOT_PATH = "/org/a11y/atspi/accessible/root";
inline constexpr char const* NULL_PATH = "/org/a11y/atspi/null";

inline constexpr char const* IFACE_ACCESSIBLE = "org.a11y.atspi.Accessible";
inline constexpr char const* IFACE_COMPONENT = "org.a11y.atspi.Component";
inline constexpr char const* IFACE_ACTION = "org.a11y.atspi.Action";
inline constexpr char const* IFACE_TEXT = "org.a11y.atspi.Text";
inline constexpr char const* IFACE_EDITABLE_TEXT = "org.a11y.atspi.EditableText";
inline constexpr char const* IFACE_APPLICATION = "org.a11y.atspi.Application";
inline constexpr char const* IFACE_SOCKET = "org.a11y.atspi.Socket";
inline constexpr char const* EVENT_OBJECT = "org.a11y.atspi.Event.Object";
inline constexpr char const* EVENT_FOCUS = "org.a11y.atspi.Event.Focus";

} // namespace zarn_ui::a11y
