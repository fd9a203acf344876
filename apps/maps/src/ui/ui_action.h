#pragma once
// The actions of the elements the application paints itself: UiAction names what a press does,
// HitTarget places one on screen, and SemanticControl is how a pressable element is exposed to
// the accessibility and automation layer. Performing the actions lives elsewhere.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "model/types.h"
#include "platform/scene/geometry.h"

namespace maps {

/// What a part of the search box does.
struct SearchItem {
  enum class Kind : std::size_t { Field = 0, Clear = 1, Result = 2, Inert = 3 };
  Kind kind = Kind::Field;
  std::size_t index = 0; // row of the suggestion list; only for Result

  static SearchItem field() { return {Kind::Field, 0}; }
  static SearchItem clear() { return {Kind::Clear, 0}; }
  static SearchItem result(std::size_t index) { return {Kind::Result, index}; }
  static SearchItem inert() { return {Kind::Inert, 0}; }
  bool operator==(SearchItem const&) const = default;
};

/// One pressable element's action. The tag is the alternative's index (0 to 22).
struct UiAction {
  struct None { // an inert area that still swallows the press
    bool operator==(None const&) const = default;
  };
  struct Search {
    SearchItem item;
    bool operator==(Search const&) const = default;
  };
  struct TogglePanelCollapse {
    bool operator==(TogglePanelCollapse const&) const = default;
  };
  struct BackToPlaces {
    bool operator==(BackToPlaces const&) const = default;
  };
  struct TravelMode {
    ::maps::TravelMode mode = ::maps::TravelMode::Car;
    bool operator==(TravelMode const&) const = default;
  };
  struct OpenSavedPlace {
    std::string id;
    bool operator==(OpenSavedPlace const&) const = default;
  };
  struct OpenPoi {
    std::string id;
    bool operator==(OpenPoi const&) const = default;
  };
  struct ClosePoi {
    bool operator==(ClosePoi const&) const = default;
  };
  struct PoiDirections {
    bool operator==(PoiDirections const&) const = default;
  };
  struct SearchAgain {
    std::string text;
    bool operator==(SearchAgain const&) const = default;
  };
  struct ClearRecents {
    bool operator==(ClearRecents const&) const = default;
  };
  struct ToggleNavigation {
    bool operator==(ToggleNavigation const&) const = default;
  };
  struct CloseNavigation {
    bool operator==(CloseNavigation const&) const = default;
  };
  struct Directions {
    bool operator==(Directions const&) const = default;
  };
  struct Transit {
    bool operator==(Transit const&) const = default;
  };
  struct ToggleSaved {
    bool operator==(ToggleSaved const&) const = default;
  };
  struct ClearRoute {
    bool operator==(ClearRoute const&) const = default;
  };
  struct UseMyLocation {
    bool operator==(UseMyLocation const&) const = default;
  };
  struct TransitTimeMode {
    bool arrive = false; // true: arrive by the chosen time; false: leave at it
    bool operator==(TransitTimeMode const&) const = default;
  };
  struct TransitTimeDelta {
    std::int32_t minutes = 0;
    bool operator==(TransitTimeDelta const&) const = default;
  };
  struct LeaveNow {
    bool operator==(LeaveNow const&) const = default;
  };
  struct SelectJourney {
    std::size_t index = 0;
    bool operator==(SelectJourney const&) const = default;
  };
  struct Overflow {
    bool operator==(Overflow const&) const = default;
  };

  using Value =
      std::variant<None, Search, TogglePanelCollapse, BackToPlaces, TravelMode, OpenSavedPlace,
                   OpenPoi, ClosePoi, PoiDirections, SearchAgain, ClearRecents, ToggleNavigation,
                   CloseNavigation, Directions, Transit, ToggleSaved, ClearRoute, UseMyLocation,
                   TransitTimeMode, TransitTimeDelta, LeaveNow, SelectJourney, Overflow>;
  Value value;

  UiAction() = default;
  // clang-format off
  template <class T>
    requires std::is_constructible_v<Value, T&&> &&
             (!std::is_same_v<std::remove_cvref_t<T>, UiAction>)
  UiAction(T&& v) : value(std::forward<T>(v)) {} // implicit from any alternative
  // clang-format on

  std::uint8_t tag() const { return static_cast<std::uint8_t>(value.index()); }
  template <class T> bool is() const { return std::holds_alternative<T>(value); }
  template <class T> T const* get_if() const { return std::get_if<T>(&value); }
  bool operator==(UiAction const&) const = default;
};
static_assert(std::variant_size_v<UiAction::Value> == 23);

/// A pressable rectangle (logical pixels, x0/y0 the top-left corner) and what pressing it does.
struct HitTarget {
  zarn_ui::Rect rect;
  UiAction action;
  bool operator==(HitTarget const&) const = default;
};

/// A text the frame painted that a screen reader should find: a heading over a group, or a line
/// read as it stands.
struct DrawnText {
  std::string text;
  zarn_ui::Rect rect;
  bool heading = false;
  std::string id; // for a row of a list ("maps.step:2"); empty for a text on its own
  bool operator==(DrawnText const&) const = default;
};

// Role codes of the platform's accessibility layer.
inline constexpr std::uint8_t ROLE_PUSH_BUTTON = 17;
inline constexpr std::uint8_t ROLE_TOGGLE_BUTTON = 18;
inline constexpr std::uint8_t ROLE_CHOICE = 20; // one of several
inline constexpr std::uint8_t ROLE_SWITCH = 21;
inline constexpr std::uint8_t ROLE_SEARCH_FIELD = 25;

// Tri-state of a control.
inline constexpr std::uint8_t STATE_OFF = 0;
inline constexpr std::uint8_t STATE_ON = 1;
inline constexpr std::uint8_t STATE_NOT_APPLICABLE = 2;

/// The platform attributes beyond label, id, state, role and rect. Every control of this
/// application carries the same values, except that a node which takes text sets `takes_text`.
struct SemanticAttributes {
  bool enabled = true;
  bool hidden = false;
  bool takes_text = false;
  std::optional<bool> expanded; // left unset
  bool operator==(SemanticAttributes const&) const = default;
};

/// One pressable element as the platform sees it.
struct SemanticControl {
  std::string label;
  std::string id; // "maps.…"; the key by which a control is performed
  SemanticAttributes attributes;
  std::uint8_t state = STATE_NOT_APPLICABLE;
  zarn_ui::Rect rect; // zero from ui_action_spec; the caller copies the target's rect in
  std::uint8_t role = ROLE_PUSH_BUTTON;
  bool operator==(SemanticControl const&) const = default;
};

/// A control with its label, id, role and state (and, for painted ones, its rectangle).
inline SemanticControl make_control(std::string label, std::string id,
                                    std::uint8_t role = ROLE_PUSH_BUTTON,
                                    std::uint8_t state = STATE_NOT_APPLICABLE,
                                    zarn_ui::Rect rect = {}) {
  SemanticControl c;
  c.label = std::move(label);
  c.id = std::move(id);
  c.role = role;
  c.state = state;
  c.rect = rect;
  return c;
}

} // namespace maps
