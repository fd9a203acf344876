#include "platform/render/cairo_replay.h"

#include <cmath>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/text/text_engine.h"

namespace zarn_ui::render {

namespace {

// cairo's image surfaces are limited to 32767 pixels per side.
constexpr std::uint32_t MAX_IMAGE_SIDE = 32767;
// Bounds in device pixels beyond which drawing is pointless and cairo's work (pen vertices,
// glyph rasterisation, pixman's fixed-point image transforms) grows without bound or fails.
constexpr double MAX_DEVICE_STROKE = 1e5;
constexpr double MAX_DEVICE_TEXT = 4096.0;
constexpr double MIN_IMAGE_SCALE = 1e-4;
constexpr double MAX_IMAGE_SCALE = 1e4;
// Control-point distance of a cubic quarter circle of radius 1.
constexpr double KAPPA = 0.5522847498307936;
// A cached tile larger than this (device pixels per side) is drawn directly instead.
constexpr double MAX_TILE_SIDE = 4096.0;
// A tile is rendered at its sub-pixel offset rounded to 1/4096 device pixel: fine enough that
// its edges' coverage matches drawing at the exact offset (coarser steps, such as cairo's own
// 1/256, measurably shift antialiased edges), coarse enough that panning by whole pixels, with
// its floating-point noise, keeps finding the same tiles.
constexpr double SUBPIXEL_STEPS = 4096.0;
// Cached tiles inside cached tiles: one level, for sprites inside a layer's tiles.
constexpr int MAX_TILE_DEPTH = 2;

bool finite(Point p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}
bool finite(Rect const& r) {
  return std::isfinite(r.x0) && std::isfinite(r.y0) && std::isfinite(r.x1) && std::isfinite(r.y1);
}

double unit(float v) {
  if (!(v > 0.0f)) {
    return 0.0;
  }
  return v >= 1.0f ? 1.0 : static_cast<double>(v);
}

class Replayer {
public:
  /// `depth`: how many cached tiles the commands are drawn inside.
  Replayer(cairo_t* cr, TileSurfaceCache* cache, int depth = 0)
      : cr_(cr), cache_(cache), depth_(depth) {
    cairo_save(cr_);
    cairo_get_matrix(cr_, &base_);
  }
  ~Replayer() {
    while (!layers_.empty()) {
      pop_layer();
    }
    cairo_restore(cr_);
  }
  Replayer(Replayer const&) = delete;
  Replayer& operator=(Replayer const&) = delete;

  void operator()(FillCmd const& cmd) {
    if (!set_transform(cmd.transform) || !path(cmd.shape)) {
      return;
    }
    set_color(cmd.color);
    cairo_set_fill_rule(cr_, cmd.rule == FillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD
                                                           : CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr_);
  }

  void operator()(StrokeCmd const& cmd) {
    Stroke const& s = cmd.style;
    if (!(s.width > 0.0) || !std::isfinite(s.width)) {
      return;
    }
    if (!set_transform(cmd.transform) || !path(cmd.shape)) {
      return;
    }
    set_color(cmd.color);
    // cairo's pen for round joins grows with the device width; beyond a screen's size a wider
    // stroke looks the same and only costs time and memory.
    double width = s.width;
    if (width * scale_ > MAX_DEVICE_STROKE) {
      width = MAX_DEVICE_STROKE / scale_;
    }
    cairo_set_line_width(cr_, width);
    cairo_set_line_join(cr_, s.join == Join::Round   ? CAIRO_LINE_JOIN_ROUND
                             : s.join == Join::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                     : CAIRO_LINE_JOIN_MITER);
    // cairo has one cap style for both ends; the start cap decides.
    cairo_set_line_cap(cr_, s.start_cap == Cap::Round    ? CAIRO_LINE_CAP_ROUND
                            : s.start_cap == Cap::Square ? CAIRO_LINE_CAP_SQUARE
                                                         : CAIRO_LINE_CAP_BUTT);
    cairo_set_miter_limit(cr_, std::isfinite(s.miter_limit) && s.miter_limit >= 1.0 ? s.miter_limit
                                                                                    : 4.0);
    set_dash(s);
    cairo_stroke(cr_);
  }

  void operator()(PushLayerCmd const& cmd) {
    cairo_save(cr_);
    if (set_transform(cmd.transform) && path(cmd.clip)) {
      cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
      cairo_clip(cr_);
    } else {
      // An undrawable clip shape clips everything away; the layer still pairs with its pop.
      cairo_new_path(cr_);
      cairo_set_matrix(cr_, &base_);
      cairo_rectangle(cr_, 0, 0, 0, 0);
      cairo_clip(cr_);
    }
    double const alpha = unit(cmd.alpha);
    bool const group = alpha < 1.0;
    if (group) {
      cairo_push_group(cr_);
    }
    layers_.push_back({group, alpha});
  }

  void operator()(PopLayerCmd const&) {
    if (!layers_.empty()) { // an unmatched pop is ignored
      pop_layer();
    }
  }

  void operator()(ImageCmd const& cmd) {
    Image const* image = cmd.image.get();
    if (image == nullptr || image->width == 0 || image->height == 0 ||
        image->width > MAX_IMAGE_SIDE || image->height > MAX_IMAGE_SIDE ||
        image->argb.size() != static_cast<std::size_t>(image->width) * image->height) {
      return;
    }
    Rect const full{0.0, 0.0, static_cast<double>(image->width),
                    static_cast<double>(image->height)};
    Rect const src = cmd.src.value_or(full);
    if (!finite(src) || src.is_empty()) {
      return;
    }
    double const alpha = unit(cmd.alpha);
    if (alpha <= 0.0 || !set_transform(cmd.transform) || scale_ < MIN_IMAGE_SCALE ||
        scale_ > MAX_IMAGE_SCALE) {
      return;
    }
    // Cairo only reads a source surface; the pixels stay owned by the shared image.
    auto* data = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image->argb.data()));
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        data, CAIRO_FORMAT_ARGB32, static_cast<int>(image->width), static_cast<int>(image->height),
        static_cast<int>(image->stride_bytes()));
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
    // Edges extended so neighbouring tiles meet without a seam; bilinear because "good"
    // costs about ten times more on scaled tiles.
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
    cairo_set_source(cr_, pattern);
    cairo_new_path(cr_);
    cairo_rectangle(cr_, src.x0, src.y0, src.width(), src.height());
    if (alpha >= 1.0) {
      cairo_fill(cr_);
    } else {
      cairo_save(cr_);
      cairo_clip(cr_);
      cairo_paint_with_alpha(cr_, alpha);
      cairo_restore(cr_);
    }
    cairo_set_source_rgba(cr_, 0, 0, 0, 0); // drop the context's reference to the pattern
    cairo_pattern_destroy(pattern);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
  }

  void operator()(TextCmd const& cmd) {
    if (cmd.text.empty() || !set_transform(cmd.transform) ||
        static_cast<double>(cmd.size) * scale_ > MAX_DEVICE_TEXT) {
      return;
    }
    cairo_new_path(cr_);
    set_color(cmd.color);
    if (cmd.prepared) {
      text_detail::TextEngine::draw(cr_, *cmd.prepared);
      return;
    }
    if (!engine_) {
      engine_ = text_detail::TextEngine::for_this_thread();
    }
    auto prepared = engine_->prepare(cmd.text, cmd.size, cmd.weight, cmd.max_width.value_or(-1.0f));
    text_detail::TextEngine::draw(cr_, *prepared);
  }

  void operator()(CachedTileCmd const& cmd) {
    if (!cmd.content || !finite(cmd.rect) || !(cmd.rect.width() > 0.0) ||
        !(cmd.rect.height() > 0.0) || !set_transform(cmd.transform)) {
      return;
    }
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    double const x0 = m.xx * cmd.rect.x0 + m.x0;
    double const y0 = m.yy * cmd.rect.y0 + m.y0;
    double const dx0 = std::round(x0);
    double const dy0 = std::round(y0);
    double const w = std::round(m.xx * cmd.rect.x1 + m.x0) - dx0;
    double const h = std::round(m.yy * cmd.rect.y1 + m.y0) - dy0;
    if (m.xy != 0.0 || m.yx != 0.0 || !(m.xx > 0.0) || !(m.yy > 0.0) ||
        !(w <= MAX_TILE_SIDE && h <= MAX_TILE_SIDE)) {
      draw_tile_unaligned(cmd);
      return;
    }
    if (!(w >= 1.0 && h >= 1.0)) {
      return;
    }
    double const px = std::round((x0 - dx0) * SUBPIXEL_STEPS) / SUBPIXEL_STEPS;
    double const py = std::round((y0 - dy0) * SUBPIXEL_STEPS) / SUBPIXEL_STEPS;
    cairo_matrix_t const inner{m.xx, 0.0, 0.0, m.yy, px, py};

    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_new_path(cr_);
    cairo_rectangle(cr_, dx0, dy0, w, h);
    if (cache_ == nullptr) {
      // No cache: the same picture drawn in place, cut at the same whole pixels.
      cairo_clip(cr_);
      cairo_matrix_t placed = inner;
      placed.x0 += dx0;
      placed.y0 += dy0;
      cairo_set_matrix(cr_, &placed);
      replay_content(cmd, cr_);
      cairo_restore(cr_);
      return;
    }
    std::string const key = fmt::format("{}|{}x{}|{}x{}|{},{}", cmd.key, m.xx, m.yy, w, h,
                                        px * SUBPIXEL_STEPS, py * SUBPIXEL_STEPS);
    cairo_surface_t* surface = cache_->find(key);
    if (surface == nullptr) {
      surface =
          cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(w), static_cast<int>(h));
      cairo_t* tile = cairo_create(surface);
      cairo_set_matrix(tile, &inner);
      replay_content(cmd, tile);
      bool const ok = cairo_status(tile) == CAIRO_STATUS_SUCCESS;
      cairo_destroy(tile);
      cairo_surface_flush(surface);
      if (!ok || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        cairo_restore(cr_);
        return;
      }
      cache_->insert(key, surface);
    }
    cairo_set_source_surface(cr_, surface, dx0, dy0);
    cairo_fill(cr_);
    cairo_restore(cr_);
  }

private:
  /// The tile's content replayed onto `cr` under its current matrix. A tile may hold tiles of
  /// its own (a sprite drawn many times inside it), which hold none.
  void replay_content(CachedTileCmd const& cmd, cairo_t* cr) const {
    Scene content;
    cmd.content(content);
    Replayer inner(cr, cache_, depth_ + 1);
    for (auto const& c : content.commands) {
      if (!std::holds_alternative<CachedTileCmd>(c) || depth_ + 1 < MAX_TILE_DEPTH) {
        std::visit(inner, c);
      }
    }
  }

  /// A tile under a rotating or mirroring transform: its content clipped to its rectangle.
  void draw_tile_unaligned(CachedTileCmd const& cmd) {
    if (!set_transform(cmd.transform)) {
      return;
    }
    cairo_save(cr_);
    cairo_new_path(cr_);
    cairo_rectangle(cr_, cmd.rect.x0, cmd.rect.y0, cmd.rect.width(), cmd.rect.height());
    cairo_clip(cr_);
    cairo_translate(cr_, cmd.rect.x0, cmd.rect.y0);
    replay_content(cmd, cr_);
    cairo_restore(cr_);
  }

  struct Layer {
    bool group = false;
    double alpha = 1.0;
  };

  void pop_layer() {
    Layer const layer = layers_.back();
    layers_.pop_back();
    if (layer.group) {
      cairo_pop_group_to_source(cr_);
      cairo_paint_with_alpha(cr_, layer.alpha);
    }
    cairo_restore(cr_);
  }

  /// Sets base × t as the context's matrix and remembers its scale; false (matrix left at the
  /// base) when the product is singular or not finite, which would put cairo in error.
  bool set_transform(Affine const& t) {
    cairo_set_matrix(cr_, &base_);
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.e, t.f);
    cairo_matrix_t combined;
    cairo_matrix_multiply(&combined, &m, &base_); // t first, then the base
    // cairo refuses a matrix whose determinant is zero or not finite, even where its own
    // inversion of a pure scale would succeed.
    double const det = combined.xx * combined.yy - combined.yx * combined.xy;
    cairo_matrix_t inverse = combined;
    if (!std::isfinite(det) || det == 0.0 ||
        cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS) {
      return false;
    }
    for (double v : {combined.xx, combined.yx, combined.xy, combined.yy, combined.x0, combined.y0,
                     inverse.xx, inverse.yx, inverse.xy, inverse.yy, inverse.x0, inverse.y0}) {
      if (!std::isfinite(v)) {
        return false;
      }
    }
    scale_ = std::sqrt(std::abs(det));
    cairo_set_matrix(cr_, &combined);
    return true;
  }

  void set_color(Color c) {
    cairo_set_source_rgba(cr_, unit(c.r), unit(c.g), unit(c.b), unit(c.a));
  }

  void set_dash(Stroke const& s) {
    bool valid = !s.dash_pattern.empty() && std::isfinite(s.dash_offset);
    double total = 0.0;
    for (double v : s.dash_pattern) {
      if (!(v >= 0.0) || !std::isfinite(v)) {
        valid = false;
        break;
      }
      total += v;
    }
    if (valid && total > 0.0) {
      cairo_set_dash(cr_, s.dash_pattern.data(), static_cast<int>(s.dash_pattern.size()),
                     s.dash_offset);
    } else {
      cairo_set_dash(cr_, nullptr, 0, 0.0);
    }
  }

  /// Builds the shape's path; false (and no path) when it cannot be drawn.
  bool path(Shape const& shape) {
    cairo_new_path(cr_);
    return std::visit([this](auto const& s) { return add(s); }, shape);
  }

  bool add(Rect const& r) {
    if (!finite(r)) {
      return false;
    }
    cairo_rectangle(cr_, r.x0, r.y0, r.width(), r.height());
    return true;
  }

  // Circles and corners are cubic quarter arcs: cairo_arc's segment count grows without bound
  // with the radius, and an error below 0.03 % of the radius is invisible.
  void quarter(double cx, double cy, double rx, double ry, double from_x, double from_y,
               double to_x, double to_y) {
    // From (cx + from_x rx, cy + from_y ry) to (cx + to_x rx, cy + to_y ry), unit directions.
    cairo_curve_to(cr_, cx + (from_x + KAPPA * to_x) * rx, cy + (from_y + KAPPA * to_y) * ry,
                   cx + (to_x + KAPPA * from_x) * rx, cy + (to_y + KAPPA * from_y) * ry,
                   cx + to_x * rx, cy + to_y * ry);
  }

  void ellipse_path(double cx, double cy, double rx, double ry) {
    cairo_new_sub_path(cr_);
    cairo_move_to(cr_, cx + rx, cy);
    quarter(cx, cy, rx, ry, 1, 0, 0, 1);
    quarter(cx, cy, rx, ry, 0, 1, -1, 0);
    quarter(cx, cy, rx, ry, -1, 0, 0, -1);
    quarter(cx, cy, rx, ry, 0, -1, 1, 0);
    cairo_close_path(cr_);
  }

  bool add(RoundedRect const& rr) {
    Rect const& r = rr.rect;
    if (!finite(r) || !std::isfinite(rr.radius)) {
      return false;
    }
    double const rad = rr.radius;
    if (rad <= 0.0) {
      return add(r);
    }
    double const x0 = std::min(r.x0, r.x1), x1 = std::max(r.x0, r.x1);
    double const y0 = std::min(r.y0, r.y1), y1 = std::max(r.y0, r.y1);
    cairo_new_sub_path(cr_);
    cairo_move_to(cr_, x0 + rad, y0);
    cairo_line_to(cr_, x1 - rad, y0);
    quarter(x1 - rad, y0 + rad, rad, rad, 0, -1, 1, 0);
    cairo_line_to(cr_, x1, y1 - rad);
    quarter(x1 - rad, y1 - rad, rad, rad, 1, 0, 0, 1);
    cairo_line_to(cr_, x0 + rad, y1);
    quarter(x0 + rad, y1 - rad, rad, rad, 0, 1, -1, 0);
    cairo_line_to(cr_, x0, y0 + rad);
    quarter(x0 + rad, y0 + rad, rad, rad, -1, 0, 0, -1);
    cairo_close_path(cr_);
    return true;
  }

  bool add(Circle const& c) {
    if (!finite(c.center) || !(c.radius > 0.0) || !std::isfinite(c.radius)) {
      return false;
    }
    ellipse_path(c.center.x, c.center.y, c.radius, c.radius);
    return true;
  }

  bool add(Ellipse const& e) {
    if (!finite(e.center) || !(e.radius_x > 0.0) || !(e.radius_y > 0.0) ||
        !std::isfinite(e.radius_x) || !std::isfinite(e.radius_y)) {
      return false;
    }
    ellipse_path(e.center.x, e.center.y, e.radius_x, e.radius_y);
    return true;
  }

  bool add(Line const& l) {
    if (!finite(l.p0) || !finite(l.p1)) {
      return false;
    }
    cairo_move_to(cr_, l.p0.x, l.p0.y);
    cairo_line_to(cr_, l.p1.x, l.p1.y);
    return true;
  }

  bool add(BezPath const& p) {
    Point current{};
    Point start{};
    bool has_current = false;
    auto begin_at = [&](Point q) {
      if (!has_current) {
        cairo_move_to(cr_, q.x, q.y);
        current = start = q;
        has_current = true;
      }
    };
    for (auto const& el : p.elements()) {
      switch (el.verb) {
      case PathVerb::MoveTo:
        if (!finite(el.p[0])) {
          return fail();
        }
        cairo_move_to(cr_, el.p[0].x, el.p[0].y);
        current = start = el.p[0];
        has_current = true;
        break;
      case PathVerb::LineTo:
        if (!finite(el.p[0])) {
          return fail();
        }
        begin_at(el.p[0]);
        cairo_line_to(cr_, el.p[0].x, el.p[0].y);
        current = el.p[0];
        break;
      case PathVerb::QuadTo: {
        if (!finite(el.p[0]) || !finite(el.p[1])) {
          return fail();
        }
        begin_at(el.p[0]);
        // Degree elevation: the cubic tracing the same curve.
        Point const from = current, c = el.p[0], to = el.p[1];
        Point const c1{from.x + 2.0 / 3.0 * (c.x - from.x), from.y + 2.0 / 3.0 * (c.y - from.y)};
        Point const c2{to.x + 2.0 / 3.0 * (c.x - to.x), to.y + 2.0 / 3.0 * (c.y - to.y)};
        cairo_curve_to(cr_, c1.x, c1.y, c2.x, c2.y, to.x, to.y);
        current = to;
        break;
      }
      case PathVerb::CurveTo:
        if (!finite(el.p[0]) || !finite(el.p[1]) || !finite(el.p[2])) {
          return fail();
        }
        begin_at(el.p[0]);
        cairo_curve_to(cr_, el.p[0].x, el.p[0].y, el.p[1].x, el.p[1].y, el.p[2].x, el.p[2].y);
        current = el.p[2];
        break;
      case PathVerb::ClosePath:
        if (has_current) {
          cairo_close_path(cr_);
          current = start;
        }
        break;
      }
    }
    return !p.empty();
  }

  bool fail() {
    cairo_new_path(cr_);
    return false;
  }

  cairo_t* cr_;
  TileSurfaceCache* cache_;
  int depth_ = 0;
  cairo_matrix_t base_{};
  double scale_ = 1.0; // of the current matrix: sqrt(|det|)
  std::vector<Layer> layers_;
  std::shared_ptr<text_detail::TextEngine> engine_;
};

} // namespace

void replay(Scene const& scene, cairo_t* cr, TileSurfaceCache* cache) {
  if (cr == nullptr || cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
    return;
  }
  Replayer replayer(cr, cache);
  for (auto const& cmd : scene.commands) {
    std::visit(replayer, cmd);
  }
}

void replay_some(Scene const& scene, cairo_t* cr, TileSurfaceCache* cache,
                 std::vector<bool> const& drawn) {
  if (cr == nullptr || cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
    return;
  }
  Replayer replayer(cr, cache);
  for (std::size_t i = 0; i < scene.commands.size(); ++i) {
    Command const& cmd = scene.commands[i];
    if (i >= drawn.size() || drawn[i] || std::holds_alternative<PushLayerCmd>(cmd) ||
        std::holds_alternative<PopLayerCmd>(cmd)) {
      std::visit(replayer, cmd);
    }
  }
}

void paint_base(cairo_t* cr, Color base) {
  auto unit = [](float v) { return v > 0.0f ? (v < 1.0f ? static_cast<double>(v) : 1.0) : 0.0; };
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr, unit(base.r), unit(base.g), unit(base.b), unit(base.a));
  cairo_paint(cr);
  cairo_restore(cr);
}

} // namespace zarn_ui::render
