// What the application ships for the desktop: the desktop file validates and its actions start
// published actions through --action; the icon draws; the launch record names the window.

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/launch/launch_args.h"
#include "platform/render/svg_raster.h"
#include "shell/app_info.h"
#include "shell/launch_record.h"

namespace maps {
namespace {

std::string const DESKTOP_FILE = std::string(MAPS_DATA_DIR) + "/test.zarn.maps.desktop";

/// Groups of a desktop file: "[Group]" -> key -> value.
std::map<std::string, std::map<std::string, std::string>>
read_desktop_file(std::string const& path) {
  std::ifstream in(path);
  std::map<std::string, std::map<std::string, std::string>> groups;
  std::string group;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.front() == '#') {
      continue;
    }
    if (line.front() == '[' && line.back() == ']') {
      group = line.substr(1, line.size() - 2);
      groups[group];
    } else if (auto const eq = line.find('='); eq != std::string::npos) {
      groups[group][line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return groups;
}

std::vector<std::string> split(std::string const& text, char by) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, by);) {
    if (!part.empty()) {
      out.push_back(part);
    }
  }
  return out;
}

/// Runs a validator over a file; its exit status and all it printed.
std::pair<int, std::string> run_validator(std::string const& command) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    return {-1, "could not run " + command};
  }
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    output += buffer;
  }
  return {pclose(pipe), output};
}

TEST(DesktopFile, PassesDesktopFileValidate) {
  if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "desktop-file-validate (Debian's desktop-file-utils) is not installed";
  }
  // Warnings count as failures too: the validator prints nothing for a clean file.
  auto const [status, output] = run_validator("desktop-file-validate '" + DESKTOP_FILE + "'");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_EQ(output, "");
}

TEST(DesktopFile, MetainfoPassesAppstreamValidateAndNamesTheDesktopFile) {
  if (std::system("command -v appstreamcli >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "appstreamcli (Debian's appstream) is not installed";
  }
  std::string const metainfo = std::string(MAPS_DATA_DIR) + "/test.zarn.maps.metainfo.xml";
  auto const [status, output] = run_validator("appstreamcli validate --no-net '" + metainfo + "'");
  // Errors and warnings fail the validation; pedantic notes and infos do not.
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  std::ifstream in(metainfo);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("<launchable type=\"desktop-id\">test.zarn.maps.desktop</launchable>"),
            std::string::npos);
}

TEST(DesktopFile, IsBusActivatedAndEachActionRunsAPublishedActionByItsKey) {
  auto groups = read_desktop_file(DESKTOP_FILE);
  auto& entry = groups["Desktop Entry"];
  EXPECT_EQ(entry["DBusActivatable"], "true");
  EXPECT_EQ(entry["Icon"], APP_ID);
  EXPECT_EQ(entry["StartupWMClass"], APP_ID);
  EXPECT_EQ(entry["Name"], maps_launch_spec().name);

  std::map<std::string, std::string> const names = {
      {"maps-locate", "Use my location"}, {"maps-toggle-traffic", "Show or hide traffic"}};
  auto const keys = split(entry["Actions"], ';');
  ASSERT_EQ(keys.size(), names.size());
  auto const spec = maps_launch_spec();
  for (auto const& key : keys) {
    SCOPED_TRACE(key);
    auto& action = groups["Desktop Action " + key];
    EXPECT_EQ(action["Name"], names.at(key));
    // Started by Exec, the key reaches the app as --action ID; activated over the bus, as the
    // key itself, which the bus reads as the id with its dots written as dashes.
    auto words = split(action["Exec"], ' ');
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words.front(), "maps");
    std::vector<char const*> argv;
    for (std::size_t i = 1; i < words.size(); ++i) {
      argv.push_back(words[i].c_str());
    }
    auto const args = zarn_ui::launch::parse_launch_args(argv, spec.switches, spec.options);
    ASSERT_TRUE(args) << args.error();
    ASSERT_TRUE(args->action);
    std::string dashed = args->action->id;
    std::replace(dashed.begin(), dashed.end(), '.', '-');
    EXPECT_EQ(dashed, key);
    bool const published = std::any_of(spec.action_signatures.begin(), spec.action_signatures.end(),
                                       [&](auto const& s) { return s.id == args->action->id; });
    EXPECT_TRUE(published) << args->action->id;
  }
}

TEST(AppIcon, TheEmbeddedIconDrawsAPinOverAFoldedMap) {
  constexpr std::uint32_t SIZE = 64;
  auto const rgba = zarn_ui::rasterise_svg(APP_ICON_SVG, SIZE);
  ASSERT_TRUE(rgba) << rgba.error();
  ASSERT_EQ(rgba->size(), SIZE * SIZE * 4);
  auto pixel = [&](std::uint32_t x, std::uint32_t y) {
    auto const* p = &(*rgba)[(y * SIZE + x) * 4];
    return std::array<int, 4>{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(pixel(1, 1)[3], 0);   // transparent corner
  auto const pin = pixel(32, 12); // the pin's head, above its white hole
  EXPECT_GT(pin[0], 180);
  EXPECT_LT(pin[1], 110);
  EXPECT_EQ(pin[3], 255);
  auto const hole = pixel(32, 19);
  EXPECT_GT(hole[0] + hole[1] + hole[2], 3 * 240);
  auto const map = pixel(12, 40); // the left panel of the map
  EXPECT_GT(map[1], map[0]);
  EXPECT_EQ(map[3], 255);

  EXPECT_FALSE(zarn_ui::rasterise_svg("<svg", SIZE));
  EXPECT_FALSE(zarn_ui::rasterise_svg(APP_ICON_SVG, 0));
}

TEST(LaunchRecord, NamesTheWindowAndItsVersion) {
  auto const spec = maps_launch_spec();
  EXPECT_EQ(spec.name, "Maps");
  EXPECT_EQ(spec.version, APP_VERSION);
  EXPECT_FALSE(spec.version.empty());
  EXPECT_EQ(spec.icon_svg, APP_ICON_SVG);
}

} // namespace
} // namespace maps
