#pragma once
// Scene: a display list of drawing commands (fills, strokes, clip layers, images, text runs)
// recorded by painters and replayed by platform/render. The command list is public so tests
// can examine what was drawn without rasterising. The scene holds no pixels and no device.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/scene/color.h"
#include "platform/scene/geometry.h"
#include "platform/scene/image.h"

namespace zarn_ui {

namespace text_detail {
struct PreparedText; // a shaped line, owned by the text module
}

using Shape = std::variant<Rect, RoundedRect, Circle, Ellipse, Line, BezPath>;

enum class FillRule : std::uint8_t { NonZero, EvenOdd };

struct FillCmd {
  FillRule rule = FillRule::NonZero;
  Affine transform;
  Color color;
  Shape shape;
};

struct StrokeCmd {
  Stroke style;
  Affine transform;
  Color color;
  Shape shape;
};

/// Everything drawn until the matching PopLayerCmd is clipped to `clip` (under `transform`)
/// and composited with `alpha`.
struct PushLayerCmd {
  Shape clip;
  Affine transform;
  float alpha = 1.0f;
};

struct PopLayerCmd {};

/// Draws the `src` part of the image (image pixels; the whole image when absent) through
/// `transform`, which maps image pixel space to scene space. Edges are extended (no seams
/// between neighbouring tiles) and sampling is bilinear.
struct ImageCmd {
  SharedImage image;
  Affine transform;
  float alpha = 1.0f;
  std::optional<Rect> src;
};

/// One line of plain text; (0, 0) under `transform` is the top-left corner of its line box,
/// which is 1.25 × size high. `size` is the pixel size after the renderer's text scale.
struct TextCmd {
  std::string text; // valid UTF-8
  float size = 0.0f;
  int weight = 0; // the renderer's weight selector, 0 (regular) to 3 (bold)
  Color color;
  Affine transform;
  std::optional<float> max_width;                            // text beyond is ellipsised
  std::shared_ptr<text_detail::PreparedText const> prepared; // may be null
};

class Scene;

/// A square of the picture the renderer may keep as pixels between frames. `content` records
/// what the tile shows in the tile's own coordinates ((0, 0) is `rect`'s top-left corner); the
/// renderer calls it only when it holds no pixels for `key` at the current device scale, so the
/// key must name everything the content depends on, and `content` must own what it draws from
/// (the scene may be replayed after its maker is gone). The tile's edges are snapped to whole
/// device pixels, so neighbouring tiles meet without a seam; what lies outside them is cut off.
struct CachedTileCmd {
  std::string key;
  Rect rect;
  Affine transform;
  std::function<void(Scene&)> content;
};

using Command =
    std::variant<FillCmd, StrokeCmd, PushLayerCmd, PopLayerCmd, ImageCmd, TextCmd, CachedTileCmd>;

class Scene {
public:
  std::vector<Command> commands;

  void fill(FillRule rule, Affine const& transform, Color color, Shape shape) {
    commands.emplace_back(FillCmd{rule, transform, color, std::move(shape)});
  }
  void stroke(Stroke const& style, Affine const& transform, Color color, Shape shape) {
    commands.emplace_back(StrokeCmd{style, transform, color, std::move(shape)});
  }
  void push_layer(Shape clip, Affine const& transform, float alpha = 1.0f) {
    commands.emplace_back(PushLayerCmd{std::move(clip), transform, alpha});
  }
  void pop_layer() { commands.emplace_back(PopLayerCmd{}); }
  void draw_image(SharedImage image, Affine const& transform, float alpha = 1.0f,
                  std::optional<Rect> src = std::nullopt) {
    commands.emplace_back(ImageCmd{std::move(image), transform, alpha, src});
  }
  /// The `src` part of the image (whole image when absent) stretched over `dst`, under
  /// `transform`. Nothing is recorded for an empty `dst`, an empty image or an empty `src`.
  void draw_image_rect(SharedImage image, Rect const& dst, Affine const& transform,
                       std::optional<Rect> src = std::nullopt, float alpha = 1.0f);
  void push_text(TextCmd cmd) { commands.emplace_back(std::move(cmd)); }
  void cached_tile(std::string key, Rect const& rect, Affine const& transform,
                   std::function<void(Scene&)> content) {
    commands.emplace_back(CachedTileCmd{std::move(key), rect, transform, std::move(content)});
  }

  /// Appends every command of `other`, with `transform` applied after each command's own.
  void append(Scene const& other, Affine const& transform = Affine::identity());

  void reset() { commands.clear(); }
  bool empty() const { return commands.empty(); }
};

} // namespace zarn_ui
