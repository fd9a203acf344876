#pragma once
// Resources and their verbs as JSON text for callers outside the process: id, kind, title,
// children, and per verb its name, label, effect, parameters, prompt texts and why it cannot
// run now.

#include <string>
#include <vector>

#include "platform/actions/resource.h"

namespace zarn_ui::bus {

std::string resource_json(zarn_actions::Resource const& resource);
std::string resources_json(std::vector<zarn_actions::Resource> const& resources);

} // namespace zarn_ui::bus
