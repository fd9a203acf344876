#include "platform/scene/scene.h"

#include <algorithm>

namespace zarn_ui {

void Scene::draw_image_rect(SharedImage image, Rect const& dst, Affine const& transform,
                            std::optional<Rect> src, float alpha) {
  if (!image || image->width == 0 || image->height == 0) {
    return;
  }
  Rect const s = src.value_or(
      Rect{0.0, 0.0, static_cast<double>(image->width), static_cast<double>(image->height)});
  // Negated comparisons so NaN sizes draw nothing too.
  if (!(dst.width() > 0.0 && dst.height() > 0.0 && s.width() > 0.0 && s.height() > 0.0)) {
    return;
  }
  Affine const fit = Affine::translate(dst.x0, dst.y0) *
                     Affine::scale(dst.width() / s.width(), dst.height() / s.height()) *
                     Affine::translate(-s.x0, -s.y0);
  commands.emplace_back(ImageCmd{std::move(image), transform * fit, alpha, src});
}

void Scene::append(Scene const& other, Affine const& transform) {
  // Growth stays geometric: reserving the exact size on every call would make a loop of
  // appends copy the whole list each time.
  if (auto const needed = commands.size() + other.commands.size(); needed > commands.capacity()) {
    commands.reserve(std::max(needed, 2 * commands.capacity()));
  }
  for (auto const& cmd : other.commands) {
    Command copy = cmd;
    std::visit(
        [&](auto& c) {
          if constexpr (!std::is_same_v<std::decay_t<decltype(c)>, PopLayerCmd>) {
            c.transform = transform * c.transform;
          }
        },
        copy);
    commands.push_back(std::move(copy));
  }
}

} // namespace zarn_ui
