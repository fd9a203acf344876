#include "platform/text/text_renderer.h"

#include "platform/text/text_engine.h"

namespace zarn_ui {

TextRenderer::TextRenderer() : engine_(text_detail::TextEngine::for_this_thread()) {}

float TextRenderer::measure(std::string_view text, float size) const {
  return engine_->measure(text, pixel_size(size), 0);
}

float TextRenderer::measure_weighted(std::string_view text, float size, int weight) const {
  return engine_->measure(text, pixel_size(size), weight);
}

void TextRenderer::draw_text(Scene& scene, std::string_view text, float size, Color color,
                             Affine const& transform) const {
  draw_text_weighted(scene, text, size, color, transform, 0);
}

void TextRenderer::draw_text_weighted(Scene& scene, std::string_view text, float size, Color color,
                                      Affine const& transform, int weight) const {
  draw_text_limited(scene, text, size, color, transform, weight, -1.0f);
}

void TextRenderer::draw_text_limited(Scene& scene, std::string_view text, float size, Color color,
                                     Affine const& transform, int weight, float max_width) const {
  if (text.empty()) {
    return;
  }
  float const px = pixel_size(size);
  auto prepared = engine_->prepare(text, px, weight, max_width);
  TextCmd cmd;
  cmd.text = text_detail::sanitize(text);
  cmd.size = px;
  cmd.weight = text_detail::clamp_weight(weight);
  cmd.color = color;
  cmd.transform = transform;
  if (max_width >= 0.0f) {
    cmd.max_width = max_width;
  }
  cmd.prepared = std::move(prepared);
  scene.push_text(std::move(cmd));
}

LineLayout TextRenderer::lay_out_line(std::string_view text, float size) const {
  return engine_->lay_out_line(text, pixel_size(size));
}

float TextRenderer::line_height(float size) const {
  return static_cast<float>(text_detail::LINE_HEIGHT_FACTOR) * pixel_size(size);
}

void TextRenderer::set_text_scale(float scale) {
  text_scale_ = (scale > 0.0f && scale < 1e6f) ? scale : 1.0f;
}

} // namespace zarn_ui
