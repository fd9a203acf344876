#include "platform/render/retained_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <fmt/format.h>

#include "platform/render/cairo_replay.h"
#include "platform/text/text_engine.h"

namespace zarn_ui::render {

namespace {

// Antialiasing reaches into the pixel beside an edge; bilinear sampling and the snapping of
// cached tiles to whole pixels stay within the same margin.
constexpr double EDGE_MARGIN = 1.0;
// Damage over more of the frame than this is painted as one whole frame.
constexpr double WHOLE_FRAME_SHARE = 0.6;
// Where commands came or went, changes are told apart one by one up to this many.
constexpr std::ptrdiff_t MAX_EDITS = 64;

bool finite(Point p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

/// Grows `box` to hold `p`.
void extend(Rect& box, bool& any, Point p) {
  if (!any) {
    box = Rect{p.x, p.y, p.x, p.y};
    any = true;
    return;
  }
  box = Rect{std::min(box.x0, p.x), std::min(box.y0, p.y), std::max(box.x1, p.x),
             std::max(box.y1, p.y)};
}

/// A shape's box in its own coordinates (a path's control points hold its curves); nullopt
/// when it is not finite, an empty rectangle when it draws nothing.
std::optional<Rect> shape_box(Shape const& shape) {
  struct Visitor {
    std::optional<Rect> operator()(Rect const& r) const {
      return Rect{std::min(r.x0, r.x1), std::min(r.y0, r.y1), std::max(r.x0, r.x1),
                  std::max(r.y0, r.y1)};
    }
    std::optional<Rect> operator()(RoundedRect const& r) const { return (*this)(r.rect); }
    std::optional<Rect> operator()(Circle const& c) const {
      return Rect{c.center.x - c.radius, c.center.y - c.radius, c.center.x + c.radius,
                  c.center.y + c.radius};
    }
    std::optional<Rect> operator()(Ellipse const& e) const {
      return Rect{e.center.x - e.radius_x, e.center.y - e.radius_y, e.center.x + e.radius_x,
                  e.center.y + e.radius_y};
    }
    std::optional<Rect> operator()(Line const& l) const { return Rect::from_points(l.p0, l.p1); }
    std::optional<Rect> operator()(BezPath const& p) const {
      Rect box;
      bool any = false;
      for (auto const& el : p.elements()) {
        int const n = el.verb == PathVerb::ClosePath ? 0
                      : el.verb == PathVerb::QuadTo  ? 2
                      : el.verb == PathVerb::CurveTo ? 3
                                                     : 1;
        for (int i = 0; i < n; ++i) {
          extend(box, any, el.p[i]);
        }
      }
      return box;
    }
  };
  std::optional<Rect> box = std::visit(Visitor{}, shape);
  if (box && !(finite(box->origin()) && finite(Point{box->x1, box->y1}))) {
    return std::nullopt;
  }
  return box;
}

/// `box` (in the command's coordinates) as device pixels under `t` and `scale`, with the
/// antialiasing margin; nullopt when it is not finite.
std::optional<Rect> device_box(Rect const& box, Affine const& t, double scale) {
  Rect const r = (Affine::scale(scale) * t).transform_rect_bbox(box);
  if (!finite(r.origin()) || !finite(Point{r.x1, r.y1})) {
    return std::nullopt;
  }
  return r.inflate(EDGE_MARGIN, EDGE_MARGIN);
}

/// How far a stroke reaches beyond its path: half its width, more at miter joins and square
/// caps.
double stroke_reach(Stroke const& s) {
  double factor = 1.0;
  if (s.join == Join::Miter) {
    factor = std::isfinite(s.miter_limit) && s.miter_limit >= 1.0 ? s.miter_limit : 4.0;
  }
  if (s.start_cap == Cap::Square || s.end_cap == Cap::Square) {
    factor = std::max(factor, std::sqrt(2.0));
  }
  return s.width * 0.5 * factor;
}

/// An empty device box: the command paints nothing.
constexpr Rect NOTHING{};

/// The device pixels a command can paint; nullopt when that cannot be bounded.
std::optional<Rect> reach(Command const& command, double scale) {
  struct Visitor {
    double scale;
    std::optional<Rect> operator()(FillCmd const& c) const {
      auto const box = shape_box(c.shape);
      return box ? device_box(*box, c.transform, scale) : std::nullopt;
    }
    std::optional<Rect> operator()(StrokeCmd const& c) const {
      if (!(c.style.width > 0.0) || !std::isfinite(c.style.width)) {
        return NOTHING;
      }
      auto const box = shape_box(c.shape);
      if (!box) {
        return std::nullopt;
      }
      double const pad = stroke_reach(c.style);
      return device_box(box->inflate(pad, pad), c.transform, scale);
    }
    // What a layer's commands paint stays inside its clip.
    std::optional<Rect> operator()(PushLayerCmd const& c) const {
      auto const box = shape_box(c.clip);
      return box ? device_box(*box, c.transform, scale) : std::nullopt;
    }
    std::optional<Rect> operator()(PopLayerCmd const&) const { return NOTHING; }
    std::optional<Rect> operator()(ImageCmd const& c) const {
      if (!c.image) {
        return NOTHING;
      }
      Rect const full{0.0, 0.0, static_cast<double>(c.image->width),
                      static_cast<double>(c.image->height)};
      return device_box(c.src.value_or(full), c.transform, scale);
    }
    std::optional<Rect> operator()(TextCmd const& c) const {
      if (c.text.empty()) {
        return NOTHING;
      }
      std::shared_ptr<text_detail::PreparedText const> prepared = c.prepared;
      if (!prepared) {
        prepared = text_detail::TextEngine::for_this_thread()->prepare(c.text, c.size, c.weight,
                                                                       c.max_width.value_or(-1.0f));
      }
      return device_box(prepared->ink, c.transform, scale);
    }
    std::optional<Rect> operator()(CachedTileCmd const& c) const {
      return device_box(c.rect, c.transform, scale);
    }
  };
  return std::visit(Visitor{scale}, command);
}

bool same(TextCmd const& a, TextCmd const& b) {
  // The prepared layout is what the other fields shape; it is not compared.
  return a.text == b.text && a.size == b.size && a.weight == b.weight && a.color == b.color &&
         a.transform == b.transform && a.max_width == b.max_width;
}

/// Commands that paint the same pixels. Images compare by identity: a shared image is never
/// changed, and the retained copy keeps it alive. A cached tile's key names its content.
bool same(Command const& a, Command const& b) {
  if (a.index() != b.index()) {
    return false;
  }
  if (auto const* x = std::get_if<FillCmd>(&a)) {
    auto const& y = std::get<FillCmd>(b);
    return x->rule == y.rule && x->transform == y.transform && x->color == y.color &&
           x->shape == y.shape;
  }
  if (auto const* x = std::get_if<StrokeCmd>(&a)) {
    auto const& y = std::get<StrokeCmd>(b);
    return x->style == y.style && x->transform == y.transform && x->color == y.color &&
           x->shape == y.shape;
  }
  if (auto const* x = std::get_if<PushLayerCmd>(&a)) {
    auto const& y = std::get<PushLayerCmd>(b);
    return x->clip == y.clip && x->transform == y.transform && x->alpha == y.alpha;
  }
  if (std::holds_alternative<PopLayerCmd>(a)) {
    return true;
  }
  if (auto const* x = std::get_if<ImageCmd>(&a)) {
    auto const& y = std::get<ImageCmd>(b);
    return x->image == y.image && x->transform == y.transform && x->alpha == y.alpha &&
           x->src == y.src;
  }
  if (auto const* x = std::get_if<TextCmd>(&a)) {
    return same(*x, std::get<TextCmd>(b));
  }
  auto const& x = std::get<CachedTileCmd>(a);
  auto const& y = std::get<CachedTileCmd>(b);
  return x.key == y.key && x.rect == y.rect && x.transform == y.transform;
}

bool is_layer(Command const& c) {
  return std::holds_alternative<PushLayerCmd>(c) || std::holds_alternative<PopLayerCmd>(c);
}

/// Every layer opened in the commands is closed in them, and none closed that was opened before.
bool balanced(std::vector<Command> const& commands, std::size_t from, std::size_t to) {
  int depth = 0;
  for (std::size_t i = from; i < to; ++i) {
    if (std::holds_alternative<PushLayerCmd>(commands[i])) {
      ++depth;
    } else if (std::holds_alternative<PopLayerCmd>(commands[i]) && --depth < 0) {
      return false;
    }
  }
  return depth == 0;
}

/// The rectangles of a damage, kept apart (no two meet) and at most MAX_DAMAGE_RECTS, merged as
/// they come, so a frame where everything moved stops at the whole frame early.
class Damage {
public:
  Damage(int width, int height) : frame_{0.0, 0.0, double(width), double(height)} {}

  /// Adds a command's reach; false once the damage is the whole frame.
  bool add(Command const& command, double scale) {
    if (whole_) {
      return false;
    }
    std::optional<Rect> const r = reach(command, scale);
    if (!r) {
      whole_ = true;
      return false;
    }
    Rect const clipped = r->intersect(frame_);
    if (!clipped.is_empty()) {
      insert(clipped);
    }
    double covered = 0.0;
    for (Rect const& d : rects_) {
      covered += area(d);
    }
    whole_ = covered > WHOLE_FRAME_SHARE * area(frame_);
    return !whole_;
  }
  void whole() { whole_ = true; }

  std::vector<PixelRect> pixels() const {
    std::vector<Rect> const rects = whole_ ? std::vector<Rect>{frame_} : rects_;
    std::vector<PixelRect> out;
    for (Rect const& r : rects) {
      int const x0 = static_cast<int>(std::floor(r.x0));
      int const y0 = static_cast<int>(std::floor(r.y0));
      int const x1 = static_cast<int>(std::ceil(r.x1));
      int const y1 = static_cast<int>(std::ceil(r.y1));
      out.push_back(PixelRect{x0, y0, x1 - x0, y1 - y0});
    }
    return out;
  }

private:
  static double area(Rect const& r) { return r.width() * r.height(); }
  static bool meet(Rect const& a, Rect const& b) {
    return a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1;
  }

  /// Joins `r` with every rectangle it meets; beyond the limit, the pair whose union grows
  /// least is joined too.
  void insert(Rect r) {
    for (std::size_t i = 0; i < rects_.size();) {
      if (meet(rects_[i], r)) {
        r = r.union_with(rects_[i]);
        rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(i));
        i = 0; // the larger rectangle may now meet one passed over
      } else {
        ++i;
      }
    }
    rects_.push_back(r);
    if (rects_.size() <= MAX_DAMAGE_RECTS) {
      return;
    }
    std::size_t bi = 0;
    std::size_t bj = 1;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < rects_.size(); ++i) {
      for (std::size_t j = i + 1; j < rects_.size(); ++j) {
        double const growth =
            area(rects_[i].union_with(rects_[j])) - area(rects_[i]) - area(rects_[j]);
        if (growth < best) {
          best = growth;
          bi = i;
          bj = j;
        }
      }
    }
    Rect const joined = rects_[bi].union_with(rects_[bj]);
    rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(bj));
    rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(bi));
    insert(joined);
  }

  Rect frame_;
  bool whole_ = false;
  std::vector<Rect> rects_; // no two meet
};

/// The commands one scene deletes and the other inserts (indices into each).
struct Edits {
  std::vector<std::size_t> deleted;  // of `a`
  std::vector<std::size_t> inserted; // of `b`
};

/// A shortest edit script (Myers' O((N+M)D) difference) from a[a0, a1) to b[b0, b1), when it
/// takes at most MAX_EDITS deletions and insertions; nullopt beyond, where telling the changes
/// apart would cost more than painting them.
std::optional<Edits> shortest_edits(std::vector<Command> const& a, std::size_t a0, std::size_t a1,
                                    std::vector<Command> const& b, std::size_t b0, std::size_t b1) {
  auto const n = static_cast<std::ptrdiff_t>(a1 - a0);
  auto const m = static_cast<std::ptrdiff_t>(b1 - b0);
  std::ptrdiff_t const most = std::min<std::ptrdiff_t>(n + m, MAX_EDITS);
  // v[k + most + 1]: the furthest x on diagonal k (x - y); one copy per edit count, to walk back.
  std::vector<std::ptrdiff_t> v(static_cast<std::size_t>(2 * most + 3), 0);
  std::vector<std::vector<std::ptrdiff_t>> trace;
  auto at = [most](std::ptrdiff_t k) { return static_cast<std::size_t>(k + most + 1); };
  for (std::ptrdiff_t d = 0; d <= most; ++d) {
    trace.push_back(v);
    for (std::ptrdiff_t k = -d; k <= d; k += 2) {
      std::ptrdiff_t x =
          (k == -d || (k != d && v[at(k - 1)] < v[at(k + 1)])) ? v[at(k + 1)] : v[at(k - 1)] + 1;
      std::ptrdiff_t y = x - k;
      while (x < n && y < m &&
             same(a[a0 + static_cast<std::size_t>(x)], b[b0 + static_cast<std::size_t>(y)])) {
        ++x;
        ++y;
      }
      v[at(k)] = x;
      if (x < n || y < m) {
        continue;
      }
      Edits out;
      for (std::ptrdiff_t e = d; e > 0; --e) {
        std::vector<std::ptrdiff_t> const& w = trace[static_cast<std::size_t>(e)];
        std::ptrdiff_t const kk = x - y;
        bool const down = kk == -e || (kk != e && w[at(kk - 1)] < w[at(kk + 1)]);
        std::ptrdiff_t const px = w[at(down ? kk + 1 : kk - 1)];
        std::ptrdiff_t const py = px - (down ? kk + 1 : kk - 1);
        if (down) {
          out.inserted.push_back(b0 + static_cast<std::size_t>(py));
        } else {
          out.deleted.push_back(a0 + static_cast<std::size_t>(px));
        }
        x = px;
        y = py;
      }
      return out;
    }
  }
  return std::nullopt;
}

} // namespace

std::vector<PixelRect> scene_damage(Scene const& before, Scene const& after, double scale,
                                    int width, int height) {
  auto const& a = before.commands;
  auto const& b = after.commands;
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && same(a[head], b[head])) {
    ++head;
  }
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         same(a[a.size() - 1 - tail], b[b.size() - 1 - tail])) {
    ++tail;
  }
  std::size_t const a_end = a.size() - tail;
  std::size_t const b_end = b.size() - tail;
  Damage damage(width, height);
  if (a_end - head == b_end - head) {
    // The same number of commands between: compared in pairs, so two far-apart changes stay
    // two small rectangles. A layer paired with a drawing would nest what follows differently.
    for (std::size_t i = head; i < a_end; ++i) {
      if (same(a[i], b[i])) {
        continue;
      }
      bool const layers_differ =
          is_layer(a[i]) != is_layer(b[i]) || (is_layer(a[i]) && a[i].index() != b[i].index());
      if (layers_differ || !damage.add(a[i], scale) || !damage.add(b[i], scale)) {
        damage.whole();
        break;
      }
    }
    return damage.pixels();
  }
  // Commands came or went. When a few drawings did (a tooltip went while a button's hover
  // changed), only they: the commands kept sit in the same layers in both, as no layer command
  // came or went.
  if (auto const edits = shortest_edits(a, head, a_end, b, head, b_end)) {
    bool const layers_kept = std::none_of(edits->deleted.begin(), edits->deleted.end(),
                                          [&](std::size_t i) { return is_layer(a[i]); }) &&
                             std::none_of(edits->inserted.begin(), edits->inserted.end(),
                                          [&](std::size_t i) { return is_layer(b[i]); });
    if (layers_kept) {
      for (std::size_t const i : edits->deleted) {
        if (!damage.add(a[i], scale)) {
          return damage.pixels();
        }
      }
      for (std::size_t const i : edits->inserted) {
        if (!damage.add(b[i], scale)) {
          break;
        }
      }
      return damage.pixels();
    }
  }
  // Otherwise everything between the common ends, provided what follows sits in the same layers
  // either way.
  if (!balanced(a, head, a_end) || !balanced(b, head, b_end)) {
    damage.whole();
    return damage.pixels();
  }
  for (std::size_t i = head; i < a_end && damage.add(a[i], scale); ++i) {
  }
  for (std::size_t i = head; i < b_end && damage.add(b[i], scale); ++i) {
  }
  return damage.pixels();
}

RetainedFrame::~RetainedFrame() {
  if (surface_ != nullptr) {
    cairo_surface_destroy(surface_);
  }
  if (scratch_ != nullptr) {
    cairo_surface_destroy(scratch_);
  }
}

cairo_status_t RetainedFrame::repaint(Scene const& scene, std::vector<PixelRect> const& damage,
                                      double scale, Color base, TileSurfaceCache* tiles) {
  // Cairo's pixels depend on the area a drawing is cut to (a clip, or a smaller surface, moves
  // antialiased edges and glyphs by a few levels), so the commands reaching the damage are
  // replayed whole into a scratch frame of the same size with no clip, and only the damaged
  // rectangles are copied over. What reaches no damaged pixel is skipped.
  int const width = cairo_image_surface_get_width(surface_);
  int const height = cairo_image_surface_get_height(surface_);
  if (scratch_ == nullptr || cairo_image_surface_get_width(scratch_) != width ||
      cairo_image_surface_get_height(scratch_) != height) {
    if (scratch_ != nullptr) {
      cairo_surface_destroy(scratch_);
    }
    scratch_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  }
  if (auto status = cairo_surface_status(scratch_); status != CAIRO_STATUS_SUCCESS) {
    return status;
  }
  std::vector<Rect> rects;
  for (PixelRect const& r : damage) {
    rects.push_back(Rect{double(r.x), double(r.y), double(r.x + r.width), double(r.y + r.height)});
  }
  std::vector<bool> drawn(scene.commands.size(), false);
  for (std::size_t i = 0; i < scene.commands.size(); ++i) {
    std::optional<Rect> const r = reach(scene.commands[i], scale);
    drawn[i] = !r || std::any_of(rects.begin(), rects.end(),
                                 [&](Rect const& d) { return !r->intersect(d).is_empty(); });
  }
  cairo_t* cr = cairo_create(scratch_);
  for (PixelRect const& r : damage) {
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  }
  cairo_save(cr);
  cairo_clip(cr);
  paint_base(cr, base);
  cairo_restore(cr);
  cairo_new_path(cr);
  if (scale != 1.0) {
    cairo_scale(cr, scale, scale);
  }
  replay_some(scene, cr, tiles, drawn);
  cairo_status_t const status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_flush(scratch_);
  cairo_surface_flush(surface_);
  unsigned char const* from = cairo_image_surface_get_data(scratch_);
  unsigned char* to = cairo_image_surface_get_data(surface_);
  int const stride = cairo_image_surface_get_stride(surface_);
  for (PixelRect const& r : damage) {
    for (int y = r.y; y < r.y + r.height; ++y) {
      std::ptrdiff_t const at = static_cast<std::ptrdiff_t>(y) * stride + std::ptrdiff_t{r.x} * 4;
      std::memcpy(to + at, from + at, static_cast<std::size_t>(r.width) * 4);
    }
    cairo_surface_mark_dirty_rectangle(surface_, r.x, r.y, r.width, r.height);
  }
  return status;
}

base::Result<std::vector<PixelRect>> RetainedFrame::render(Scene const& scene, int width,
                                                           int height, double scale, Color base,
                                                           TileSurfaceCache* tiles) {
  if (width <= 0 || height <= 0) {
    return base::fail(fmt::format("render: empty frame {} x {}", width, height));
  }
  if (!(scale > 0.0) || !std::isfinite(scale)) {
    scale = 1.0;
  }
  if (surface_ == nullptr || cairo_image_surface_get_width(surface_) != width ||
      cairo_image_surface_get_height(surface_) != height) {
    if (surface_ != nullptr) {
      cairo_surface_destroy(surface_);
    }
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    last_.reset();
  }
  if (auto status = cairo_surface_status(surface_); status != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface_);
    surface_ = nullptr;
    last_.reset();
    return base::fail(fmt::format("render: surface: {}", cairo_status_to_string(status)));
  }
  std::vector<PixelRect> damage;
  if (!last_ || scale != scale_ || !(base == base_)) {
    damage.push_back(PixelRect{0, 0, width, height});
  } else {
    damage = scene_damage(*last_, scene, scale, width, height);
  }
  scale_ = scale;
  base_ = base;
  if (damage.empty()) {
    return damage; // the kept commands equal the scene's
  }

  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  bool const whole = damage.size() == 1 && damage.front() == PixelRect{0, 0, width, height};
  if (whole) {
    cairo_t* cr = cairo_create(surface_);
    paint_base(cr, base);
    if (scale != 1.0) {
      cairo_scale(cr, scale, scale);
    }
    replay(scene, cr, tiles);
    status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
  } else {
    status = repaint(scene, damage, scale, base, tiles);
  }
  if (status != CAIRO_STATUS_SUCCESS) {
    last_.reset();
    return base::fail(fmt::format("render: {}", cairo_status_to_string(status)));
  }
  // Assigned element by element, so unchanged commands keep their storage.
  if (last_) {
    last_->commands = scene.commands;
  } else {
    last_ = scene;
  }
  return damage;
}

} // namespace zarn_ui::render
