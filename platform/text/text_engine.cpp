#include "platform/text/text_engine.h"

#include <bit>
#include <cmath>
#include <filesystem>
#include <functional>

#include <fontconfig/fontconfig.h>
#include <pango/pangofc-fontmap.h>
#include <spdlog/spdlog.h>

#include "base/saturate.h"
#include "base/utf8.h"

namespace zarn_ui::text_detail {

namespace {

// Where fonts-dejavu-core installs its files. A font configuration holding only these makes
// glyph fallback, and so the pixels of a shot, independent of the fonts a machine has.
constexpr char const* DEJAVU_DIR = "/usr/share/fonts/truetype/dejavu";

// Pango takes sizes in integer units of 1/1024 px; far beyond any UI size a text is unreadable
// anyway, and the bound keeps the conversion in range.
constexpr float MAX_SIZE = 2048.0f;

float clamp_size(float size) {
  if (!(size > 0.0f)) { // NaN and negative
    return 0.0f;
  }
  return std::fmin(size, MAX_SIZE);
}

PangoWeight pango_weight(int weight) {
  switch (clamp_weight(weight)) {
  case 1:
    return PANGO_WEIGHT_MEDIUM;
  case 2:
    return PANGO_WEIGHT_SEMIBOLD;
  case 3:
    return PANGO_WEIGHT_BOLD;
  default:
    return PANGO_WEIGHT_NORMAL;
  }
}

PangoFontDescription* make_description(float size, int weight) {
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family_static(desc, FONT_FAMILY);
  pango_font_description_set_weight(desc, pango_weight(weight));
  pango_font_description_set_absolute_size(desc,
                                           static_cast<double>(clamp_size(size)) * PANGO_SCALE);
  return desc;
}

FcConfig* dejavu_only_config() {
  std::error_code ec;
  if (!std::filesystem::is_directory(DEJAVU_DIR, ec)) {
    return nullptr;
  }
  FcConfig* config = FcConfigCreate();
  if (config == nullptr) {
    return nullptr;
  }
  // The system's font caches first (fc-cache fills them when fonts are installed), a per-user
  // one for anything stale, as the default configuration does.
  std::string const xml = std::string("<?xml version=\"1.0\"?><fontconfig><dir>") + DEJAVU_DIR +
                          "</dir><cachedir>/var/cache/fontconfig</cachedir>"
                          "<cachedir prefix=\"xdg\">fontconfig</cachedir></fontconfig>";
  if (!FcConfigParseAndLoadFromMemory(config, reinterpret_cast<FcChar8 const*>(xml.c_str()),
                                      FcTrue) ||
      !FcConfigBuildFonts(config)) {
    FcConfigDestroy(config);
    return nullptr;
  }
  FcFontSet* fonts = FcConfigGetFonts(config, FcSetSystem);
  if (fonts == nullptr || fonts->nfont == 0) {
    FcConfigDestroy(config);
    return nullptr;
  }
  return config;
}

} // namespace

PreparedText::~PreparedText() {
  if (layout != nullptr) {
    g_object_unref(layout);
  }
}

std::size_t TextKeyHash::operator()(TextKeyView const& k) const {
  std::size_t h = std::hash<std::string_view>{}(k.text);
  auto mix = [&h](std::uint64_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
  // Adding +0 turns -0 into +0: the two compare equal, so they must hash alike.
  mix(std::bit_cast<std::uint32_t>(k.size + 0.0f));
  mix(static_cast<std::uint64_t>(k.weight));
  mix(std::bit_cast<std::uint32_t>(k.max_width + 0.0f));
  return h;
}

std::string sanitize(std::string_view text) {
  std::string out = base::utf8::is_valid(text) ? std::string(text) : base::utf8::lossy(text);
  if (out.find('\0') != std::string::npos) {
    std::string cleaned;
    cleaned.reserve(out.size() + 8);
    for (char ch : out) {
      if (ch == '\0') {
        cleaned += "\xEF\xBF\xBD";
      } else {
        cleaned += ch;
      }
    }
    out = std::move(cleaned);
  }
  return out;
}

int clamp_weight(int weight) {
  return weight < 0 ? 0 : (weight > 3 ? 3 : weight);
}

TextEngine::TextEngine() {
  font_map_ = pango_cairo_font_map_new();
  if (FcConfig* config = dejavu_only_config()) {
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(font_map_), config);
    FcConfigDestroy(config); // the font map holds its own reference
  } else {
    spdlog::warn("text: {} not found, using the system font configuration", DEJAVU_DIR);
  }
  context_ = pango_font_map_create_context(font_map_);
  pango_context_set_language(context_, pango_language_from_string("en"));
  pango_context_set_base_dir(context_, PANGO_DIRECTION_LTR);
  // Unrounded positions so widths scale with the size and measure equals drawing at any
  // transform.
  pango_context_set_round_glyph_positions(context_, FALSE);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context_, options);
  cairo_font_options_destroy(options);
  scratch_ = pango_layout_new(context_);
}

TextEngine::~TextEngine() {
  // Cached layouts may outlive the engine in scenes; they hold their own context reference.
  widths_.clear();
  layouts_.clear();
  g_object_unref(scratch_);
  g_object_unref(context_);
  g_object_unref(font_map_);
}

std::shared_ptr<TextEngine> TextEngine::for_this_thread() {
  thread_local std::shared_ptr<TextEngine> engine = std::make_shared<TextEngine>();
  return engine;
}

void TextEngine::configure(PangoLayout* layout, std::string const& text, float size, int weight,
                           float max_width) {
  PangoFontDescription* desc = make_description(size, weight);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  // One line always: line breaks in the text are shown, never followed.
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  if (max_width >= 0.0f) {
    pango_layout_set_width(
        layout, base::saturating_cast<int>(static_cast<double>(max_width) * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  } else {
    pango_layout_set_width(layout, -1);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_NONE);
  }
  pango_layout_set_text(layout, text.data(),
                        base::saturating_cast<int>(static_cast<double>(text.size())));
}

double TextEngine::baseline_for(float size, int weight) {
  if (double const* hit = baselines_.find(TextKeyView({}, size, weight, -1.0f))) {
    return *hit;
  }
  // The primary font's metrics, not the line's, so a fallback glyph never moves the baseline.
  PangoFontDescription* desc = make_description(size, weight);
  PangoFontMetrics* metrics =
      pango_context_get_metrics(context_, desc, pango_language_from_string("en"));
  double const ascent = static_cast<double>(pango_font_metrics_get_ascent(metrics)) / PANGO_SCALE;
  double const descent = static_cast<double>(pango_font_metrics_get_descent(metrics)) / PANGO_SCALE;
  pango_font_metrics_unref(metrics);
  pango_font_description_free(desc);
  // The font's box centred in the line box, as CSS places it (half the leading above).
  double const box = LINE_HEIGHT_FACTOR * static_cast<double>(size);
  double const baseline = (box - (ascent + descent)) * 0.5 + ascent;
  baselines_.insert(TextKey{std::string(), size, weight, -1.0f}, baseline);
  return baseline;
}

float TextEngine::measure(std::string_view text, float size, int weight) {
  size = clamp_size(size);
  weight = clamp_weight(weight);
  if (float const* hit = widths_.find(TextKeyView(text, size, weight, -1.0f))) {
    return *hit;
  }
  float width = 0.0f;
  if (size > 0.0f && !text.empty()) {
    std::string const clean = sanitize(text);
    configure(scratch_, clean, size, weight, -1.0f);
    PangoRectangle logical{};
    pango_layout_get_extents(scratch_, nullptr, &logical);
    width = static_cast<float>(static_cast<double>(logical.width) / PANGO_SCALE);
  }
  widths_.insert(TextKey{std::string(text), size, weight, -1.0f}, width);
  return width;
}

std::shared_ptr<PreparedText const> TextEngine::prepare(std::string_view text, float size,
                                                        int weight, float max_width) {
  size = clamp_size(size);
  weight = clamp_weight(weight);
  if (!(max_width >= 0.0f)) {
    max_width = -1.0f;
  }
  if (auto const* hit = layouts_.find(TextKeyView(text, size, weight, max_width))) {
    return *hit;
  }
  auto prepared = std::make_shared<PreparedText>();
  prepared->layout = pango_layout_new(context_);
  configure(prepared->layout, sanitize(text), size, weight, max_width);
  PangoRectangle logical{};
  pango_layout_get_extents(prepared->layout, nullptr, &logical);
  prepared->width = static_cast<float>(static_cast<double>(logical.width) / PANGO_SCALE);
  prepared->baseline = baseline_for(size, weight);
  if (PangoLayoutLine* line = pango_layout_get_line_readonly(prepared->layout, 0)) {
    PangoRectangle ink{};
    pango_layout_line_get_extents(line, &ink, nullptr);
    auto const px = [](int v) { return static_cast<double>(v) / PANGO_SCALE; };
    // Widened by a pixel: antialiased glyph edges may touch the pixel beyond their outline.
    prepared->ink = Rect{px(ink.x), prepared->baseline + px(ink.y), px(ink.x + ink.width),
                         prepared->baseline + px(ink.y + ink.height)}
                        .inflate(1.0, 1.0);
  }
  std::shared_ptr<PreparedText const> result = prepared;
  layouts_.insert(TextKey{std::string(text), size, weight, max_width}, result);
  return result;
}

std::string TextEngine::resolved_family(float size) {
  PangoFontDescription* desc = make_description(size, 0);
  PangoFont* font = pango_font_map_load_font(font_map_, context_, desc);
  pango_font_description_free(desc);
  if (font == nullptr) {
    return {};
  }
  PangoFontDescription* got = pango_font_describe(font);
  char const* family = pango_font_description_get_family(got);
  std::string out = family != nullptr ? family : "";
  pango_font_description_free(got);
  g_object_unref(font);
  return out;
}

void TextEngine::draw(cairo_t* cr, PreparedText const& text) {
  if (text.layout == nullptr) {
    return;
  }
  PangoLayoutLine* line = pango_layout_get_line_readonly(text.layout, 0);
  if (line == nullptr) {
    return;
  }
  cairo_move_to(cr, 0.0, text.baseline);
  pango_cairo_show_layout_line(cr, line);
}

} // namespace zarn_ui::text_detail

// Fontconfig and pango keep process-wide allocations (the parsed configuration, font sets)
// that they never free; the leak checker is told so, while leaks through our own calls that do
// not pass through fontconfig are still reported.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARN_UI_LSAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZARN_UI_LSAN 1
#endif
#ifdef ZARN_UI_LSAN
extern "C" char const* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif
