#pragma once
// Resources an application offers to the platform: a tree of items (id, kind, title) with the
// verbs that can run on each. A verb's handler turns the invocation's arguments into an
// encoded action; a contract says what the verb touches and whether it can run now.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/actions/action.h"

namespace zarn_actions {

struct ActionArgs {
  std::map<std::string, std::string, std::less<>> texts;
  std::optional<std::string> text(std::string_view name) const {
    if (auto it = texts.find(name); it != texts.end()) {
      return it->second;
    }
    return std::nullopt;
  }
};

/// Shared and thread-safe: the platform may invoke it from wherever it runs verbs.
using ActionHandler = std::shared_ptr<std::function<EncodedAction(ActionArgs const&)> const>;

struct ActionParam {
  std::string name;
  std::string label;
  bool operator==(ActionParam const&) const = default;
};

/// Why a verb cannot run now.
struct Unavailable {
  std::string code;
  std::string message;
  bool operator==(Unavailable const&) const = default;
};

enum class ContractMarker : std::uint8_t { Reversible, Destructive };

struct Contract {
  std::vector<std::string> scope; // "maps", "workspace"
  std::uint8_t class_value = 0;
  ContractMarker marker = ContractMarker::Reversible;
  std::optional<Unavailable> unavailable;
  bool operator==(Contract const&) const = default;
};

struct ActionSpec {
  std::string verb;
  std::string label;
  std::uint8_t effect = 0;
  std::optional<bool> flag;
  std::vector<ActionParam> params;
  ActionHandler handler;
  std::optional<std::string> prompt;
  std::optional<std::string> placeholder;
  std::optional<std::string> operation_ns;
  std::optional<Contract> contract;

  ActionSpec with_contract(Contract c) && {
    contract = std::move(c);
    return std::move(*this);
  }
  EncodedAction invoke(ActionArgs const& args) const { return (*handler)(args); }
};

struct Resource {
  std::string id;
  std::string kind;
  std::string title;
  std::vector<ActionSpec> actions;
  std::vector<Resource> children;
  std::optional<std::string> icon; // never set by this application

  Resource with_action(ActionSpec verb) && {
    actions.push_back(std::move(verb));
    return std::move(*this);
  }
  Resource with_child(Resource child) && {
    children.push_back(std::move(child));
    return std::move(*this);
  }
  ActionSpec const* find_action(std::string_view verb) const {
    for (auto const& a : actions) {
      if (a.verb == verb) {
        return &a;
      }
    }
    return nullptr;
  }
};

struct ResourcePage {
  std::vector<Resource> items;
  std::string cursor;
  std::uint8_t flag = 1;
};

namespace resource {

/// The handler's result under the verb's operation namespace (a handler cannot smuggle an
/// action of another kind through a text verb).
inline EncodedAction enforce_operation_type(EncodedAction action, std::string_view ns) {
  if (action.ns != ns) {
    action.ns = std::string(ns);
  }
  return action;
}

} // namespace resource
} // namespace zarn_actions
