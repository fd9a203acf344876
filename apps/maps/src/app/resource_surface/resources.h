#pragma once
// The resource surface: the tree of what the application holds (saved places, recent searches,
// the active route and transit options, downloaded regions, planning settings, search results,
// nearby points of interest) with the verbs the platform can run on each. Persistent content is
// read from the document's model; live content from the running application.

#include <optional>
#include <string_view>

#include "model/types.h"
#include "platform/actions/resource.h"

namespace maps {

class MapsApp;

/// The workspace with its verbs and persistent children; none without map data.
std::optional<zarn_actions::Resource> workspace_resource(MapModel const& stored);

/// The persistent part of resolve_resource; none without map data or for an unknown id.
std::optional<zarn_actions::Resource> find_workspace_resource(MapModel const* stored,
                                                              std::string_view id);

/// Adds the published verbs (locate, traffic, directions, open) to every resource of the tree.
void add_resource_actions(MapsApp const& app, zarn_actions::Resource& resource);

} // namespace maps
