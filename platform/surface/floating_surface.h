#pragma once
// Floating surfaces: the platform's rectangle form for surfaces on the desktop, the events
// the platform sends about a detached surface, and the two painting helpers of floating cards
// (their soft outline and the drag grip).

#include <cstdint>
#include <string>

#include "platform/scene/color.h"
#include "platform/scene/geometry.h"

namespace zarn_ui {
class Scene;
}

namespace zarn_ui::floating_surface {

/// A surface rectangle as the platform's protocol carries it: integer origin and size.
struct ProtocolRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(ProtocolRect const&, ProtocolRect const&) = default;
};

/// The rectangle of a protocol rect; a negative width or height counts as 0.
Rect protocol_rect(ProtocolRect const& r);

enum class PlacementEventKind : std::uint8_t {
  ReturnToApp,   // the platform hands the surface back to the window
  AdoptedByApp,  // the application's window took the surface back
  Moved,         // the surface now lies at `rect` (and is detached)
  Configured,    // the surface's geometry was confirmed while detached
};

struct PlacementEvent {
  PlacementEventKind kind = PlacementEventKind::Moved;
  std::string surface_id;
  ProtocolRect rect;
  bool flag = false;
};

}  // namespace zarn_ui::floating_surface

namespace zarn_ui::surface {

/// The outline of a floating card: a rounded rectangle whose corners blend into the sides
/// (a squircle-like curve), radius clamped to half the shorter side.
BezPath soft_outline(Rect const& rect, double radius = 14.0);

/// A grip of six dots centred at the top of `card`, telling that the card can be dragged.
void floating_drag_grip(Scene& scene, Affine const& transform, Rect const& card, Color color);

}  // namespace zarn_ui::surface
