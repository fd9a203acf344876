#pragma once
// Floating surfaces: the platform's rectangle form for surfaces on the desktop, the events
// the platform sends about a detached surface, and the two painting helpers of floating cards
// (their soft outline and the drag grip).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/scene/color.h"
#include "platform/scene/geometry.h"
#include "platform/widget/widget.h"

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
  ReturnToApp,  // the platform hands the surface back to the window
  AdoptedByApp, // the application's window took the surface back
  Moved,        // the surface now lies at `rect` (and is detached)
  Configured,   // the surface's geometry was confirmed while detached
};

struct PlacementEvent {
  PlacementEventKind kind = PlacementEventKind::Moved;
  std::string surface_id;
  ProtocolRect rect;
  bool flag = false;
};

/// What an application asks the platform to show as a surface of its own.
struct SurfaceSpec {
  std::string surface_id;
  std::string title;
  std::string app_id;
  std::string kind;
  Rect rect; // where the surface should appear (window coordinates)
  bool flag = false;
  friend bool operator==(SurfaceSpec const&, SurfaceSpec const&) = default;
};

/// A surface the application currently shows on the desktop.
struct DetachedSurface {
  std::string surface_id;
  std::string title;
  Rect rect;
  bool flag = false;
  friend bool operator==(DetachedSurface const&, DetachedSurface const&) = default;
};

/// No edge preference (the default answer of surface_edge).
inline constexpr std::uint8_t NO_EDGE = 255;

/// The application's side of its floating surfaces: the platform takes pending requests,
/// asks what is detached, paints the detached content, reports the geometry it chose and
/// sends placement events. Everything runs on the UI thread.
class FloatingSurfaceDelegate {
public:
  virtual ~FloatingSurfaceDelegate() = default;

  /// The pending request, moved out (none afterwards).
  virtual std::optional<SurfaceSpec> take_surface_request() = 0;
  /// The screen edge the surface prefers to stick to; none by default.
  virtual std::uint8_t surface_edge() const { return NO_EDGE; }
  /// Further surfaces beside the main one; none by default.
  virtual std::vector<DetachedSurface> extra_surfaces() const { return {}; }
  /// Paints the detached content (nothing while it lives in the window).
  virtual void draw_nav_card(Scene& scene, Affine const& transform, widget::DrawCtx const& ctx) = 0;
  virtual std::vector<DetachedSurface> detached_surface() const = 0;
  virtual std::optional<SurfaceSpec> surface_spec() const = 0;
  /// The rectangle the platform gave the detached surface.
  virtual void set_detached_rect(Rect rect) = 0;
  virtual void apply_placement_event(PlacementEvent const& event) = 0;
};

} // namespace zarn_ui::floating_surface

namespace zarn_ui::surface {

/// The outline of a floating card: a rounded rectangle whose corners blend into the sides
/// (a squircle-like curve), radius clamped to half the shorter side.
BezPath soft_outline(Rect const& rect, double radius = 14.0);

/// A grip of six dots centred at the top of `card`, telling that the card can be dragged.
void floating_drag_grip(Scene& scene, Affine const& transform, Rect const& card, Color color);

} // namespace zarn_ui::surface
