#include "platform/bus/resource_json.h"

#include <nlohmann/json.hpp>

namespace zarn_ui::bus {

namespace {

nlohmann::ordered_json verb_json(zarn_actions::ActionSpec const& spec) {
  nlohmann::ordered_json v = {{"verb", spec.verb}, {"label", spec.label}, {"effect", spec.effect}};
  auto params = nlohmann::ordered_json::array();
  for (auto const& p : spec.params) {
    params.push_back({{"name", p.name}, {"label", p.label}});
  }
  v["params"] = std::move(params);
  if (spec.prompt) {
    v["prompt"] = *spec.prompt;
  }
  if (spec.placeholder) {
    v["placeholder"] = *spec.placeholder;
  }
  if (spec.contract && spec.contract->unavailable) {
    v["unavailable"] = {{"code", spec.contract->unavailable->code},
                        {"message", spec.contract->unavailable->message}};
  }
  return v;
}

nlohmann::ordered_json to_json(zarn_actions::Resource const& r) {
  nlohmann::ordered_json out = {{"id", r.id}, {"kind", r.kind}, {"title", r.title}};
  auto verbs = nlohmann::ordered_json::array();
  for (auto const& a : r.actions) {
    verbs.push_back(verb_json(a));
  }
  out["verbs"] = std::move(verbs);
  auto children = nlohmann::ordered_json::array();
  for (auto const& c : r.children) {
    children.push_back(to_json(c));
  }
  out["children"] = std::move(children);
  return out;
}

} // namespace

// Titles come from user data; invalid UTF-8 is replaced rather than refused.
std::string resource_json(zarn_actions::Resource const& resource) {
  return to_json(resource).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string resources_json(std::vector<zarn_actions::Resource> const& resources) {
  auto out = nlohmann::ordered_json::array();
  for (auto const& r : resources) {
    out.push_back(to_json(r));
  }
  return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace zarn_ui::bus
