#include "shell/launch_record.h"

#include <memory>
#include <optional>

#include "app/maps_app.h"
#include "doc/load.h"
#include "platform/doc/persist.h"
#include "platform/launch/state.h"
#include "sdk/sdk_integration.h"
#include "shell/app_info.h"
#include "shell/presets.h"
#include "shell/screenshot.h"

namespace maps {

zarn_ui::launch::LaunchSpec maps_launch_spec() {
  zarn_ui::launch::LaunchSpec application;
  application.app_id = APP_ID;
  application.name = "Maps";
  application.version = APP_VERSION;
  application.icon_svg = APP_ICON_SVG;
  application.switches = {"--nav-closed",
                          "--empty",
                          "--edit-from",
                          "--transit-arrive",
                          "--search",
                          "--pois",
                          "--traffic",
                          "--offline",
                          "--menu",
                          "--attribution",
                          "--error",
                          "--floating-navigation",
                          "--floating-navigation-attached",
                          "--floating-navigation-hover",
                          "--floating-navigation-returning",
                          "--floating-navigation-returned"};
  application.options = {"--panel"};
  // The opener reads the document into the model's persisted fields on its own thread, while
  // the window opens; the application takes them over at its first tick instead of reading
  // the document then. The future that hands over the document orders the two.
  auto read_at_open = std::make_shared<std::optional<DocBaseline>>();
  application.persist_open = [read_at_open](std::string_view app_id) {
    auto persistence = zarn_ui::persist::open(app_id);
    record_baseline(persistence.document(), read_at_open->emplace());
    return persistence;
  };
  application.create_app = [read_at_open]() -> zarn_ui::launch::AppBox {
    auto app = std::make_unique<MapsApp>(default_maps_app());
    if (*read_at_open) {
      app->doc_baseline = std::move(**read_at_open);
      read_at_open->reset();
    }
    return app;
  };
  application.create_app_from_args = build_app_from_args;
  application.render_shot = maps::render_shot;
  application.register_actions = register_actions;
  application.default_window_size = default_window_size;
  application.minimum_window_size = minimum_window_size;
  application.action_signatures = published_action_signatures();
  return application;
}

tl::expected<zarn_ui::launch::AppBox, zarn_ui::launch::LaunchError>
build_app_from_args(zarn_ui::launch::LaunchArgs const& args) {
  return std::make_unique<MapsApp>(app_from_launch_args(args));
}

void register_actions(zarn_ui::App& app) {
  register_maps_action_decoder(app.action_registry_mut());
}

std::vector<zarn_ui::bus::ActionSignature> published_action_signatures() {
  return {{"maps.locate", 1, false}, {"maps.toggle-traffic", 2, false}};
}

std::pair<std::int32_t, std::int32_t> default_window_size() {
  return {1280, 800};
}

std::pair<std::int32_t, std::int32_t> minimum_window_size() {
  return {400, 640};
}

void render_shot(zarn_ui::launch::LaunchResult& out, zarn_ui::launch::LaunchArgs const& args) {
  out = render_screenshot(args);
}

} // namespace maps
