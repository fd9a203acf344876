#include "platform/bus/bus_apply.h"

#include <random>

#include <fmt/format.h>

#include "platform/bus/resource_json.h"
#include "platform/launch/state.h"
#include "platform/widget/widget.h"

namespace zarn_ui::bus {

Reply Reply::value(GVariant* tuple) {
  Reply r;
  r.value_ = g_variant_ref_sink(tuple);
  return r;
}

Reply Reply::failure(CallError error) {
  Reply r;
  error.message = shortened(error.message, MESSAGE_LIMIT);
  r.error_ = std::move(error);
  return r;
}

Reply::Reply(Reply&& other) noexcept
    : value_(std::exchange(other.value_, nullptr)), error_(std::move(other.error_)) {}

Reply& Reply::operator=(Reply&& other) noexcept {
  if (this != &other) {
    if (value_) {
      g_variant_unref(value_);
    }
    value_ = std::exchange(other.value_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

Reply::~Reply() {
  if (value_) {
    g_variant_unref(value_);
  }
}

void Reply::send(GDBusMethodInvocation* invocation) {
  if (error_) {
    g_dbus_method_invocation_return_dbus_error(invocation, error_->name.c_str(),
                                               error_->message.c_str());
  } else {
    g_dbus_method_invocation_return_value(invocation, value_);
  }
}

namespace {

std::span<std::uint8_t const> bytes(std::string const& text) {
  return {reinterpret_cast<std::uint8_t const*>(text.data()), text.size()};
}

char const* kind_text(widget::StartOutcome::Kind kind) {
  switch (kind) {
  case widget::StartOutcome::Kind::Pending:
    return "pending";
  case widget::StartOutcome::Kind::NotHandled:
    return "not-handled";
  case widget::StartOutcome::Kind::Failed:
    return "failed";
  case widget::StartOutcome::Kind::Completed:
    break;
  }
  return "completed";
}

/// The message of an outcome as a reply carries it.
std::string sent_message(std::string const& message) {
  return shortened(message, MESSAGE_LIMIT);
}

GVariant* outcome_tuple(widget::StartOutcome const& o) {
  return g_variant_new("(ss)", kind_text(o.kind), sent_message(o.message).c_str());
}

GVariant* request_bytes(zarn_actions::RequestId const& id) {
  return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, id.data(), id.size(), 1);
}

zarn_actions::RequestId fresh_request_id() {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  zarn_actions::RequestId id{};
  for (auto& b : id) {
    b = static_cast<std::uint8_t>(rng() & 0xff);
  }
  return id;
}

/// Decodes and applies an encoded action when its namespace has a decoder (none otherwise): the
/// outcome of an action that ran, or the error of a payload that does not decode.
std::optional<tl::expected<widget::StartOutcome, CallError>>
apply_encoded(State& state, zarn_actions::EncodedAction const& action) {
  using Kind = zarn_actions::ActionError::Kind;
  auto applied = state.apply_external(action);
  if (applied) {
    return widget::StartOutcome::completed();
  }
  auto const& error = applied.error();
  if (error.kind == Kind::UnknownNamespace) {
    return std::nullopt;
  }
  if (error.kind == Kind::DecodingFailed) {
    // The decoder's text may itself repeat the payload: it is cut as short as the quote.
    return tl::unexpected(
        CallError{INVALID_ARGS, fmt::format("could not decode action in namespace {} from {}: {}",
                                            error.ns, quoted_input(action.payload_text()),
                                            shortened(error.message, QUOTE_LIMIT))});
  }
  return widget::StartOutcome::failed(error.display());
}

Reply run_action(request::RunAction const& r, ApplyContext const& ctx) {
  auto const result = ctx.widget.invoke_action(r.effect, r.id, bytes(r.argument));
  if (!result) {
    return Reply::failure({ctx.error_prefix + ".Failed", result.error()});
  }
  if (!*result) {
    return Reply::failure(
        {NOT_SUPPORTED, fmt::format("the application did not handle '{}'", r.id)});
  }
  return Reply::value(g_variant_new("()"));
}

Reply invoke_resource(request::InvokeResource const& r, ApplyContext const& ctx) {
  auto const resource = ctx.widget.resolve_resource(ctx.state, r.resource);
  if (!resource) {
    return Reply::failure({INVALID_ARGS, "no resource with the id " + quoted_input(r.resource)});
  }
  auto const* spec = resource->find_action(r.verb);
  if (!spec || !spec->handler) {
    return Reply::failure(
        {INVALID_ARGS, fmt::format("resource {} has no verb {}", quoted_input(r.resource),
                                   quoted_input(r.verb))});
  }
  zarn_actions::ActionArgs args;
  for (auto const& [k, v] : r.args) {
    args.texts.insert_or_assign(k, v);
  }
  auto encoded = spec->invoke(args);
  if (spec->operation_ns) {
    encoded =
        zarn_actions::resource::enforce_operation_type(std::move(encoded), *spec->operation_ns);
  }
  auto const request = fresh_request_id();
  auto applied = apply_encoded(ctx.state, encoded);
  if (applied && !*applied) {
    return Reply::failure(std::move(applied->error()));
  }
  // Not a document action: one of the published actions, run with the verb's effect.
  auto const outcome =
      applied ? **applied
              : ctx.widget.start_action(request, spec->effect, encoded.ns, encoded.payload);
  return Reply::value(g_variant_new("(ss@ay)", kind_text(outcome.kind),
                                    sent_message(outcome.message).c_str(), request_bytes(request)));
}

Reply take_result(request::TakeActionResult const& r, ApplyContext const& ctx) {
  auto const done = ctx.widget.take_action_result(r.request);
  if (!done) {
    return Reply::value(g_variant_new("(sss)", "none", "", ""));
  }
  if (done->result) {
    return Reply::value(g_variant_new("(sss)", "completed", "", ""));
  }
  return Reply::value(g_variant_new("(sss)", "failed", done->result.error().code.c_str(),
                                    sent_message(done->result.error().message).c_str()));
}

} // namespace

GVariant* describe(ActionSignature const& action, bool enabled) {
  GVariantBuilder state;
  g_variant_builder_init(&state, G_VARIANT_TYPE("av"));
  return g_variant_new("(bgav)", enabled, action.takes_argument ? "s" : "", &state);
}

std::map<std::string, bool> action_enabled(widget::Widget& widget, State& state,
                                           std::vector<ActionSignature> const& actions) {
  std::map<std::string, bool> out;
  for (auto const& a : actions) {
    out[a.id] = true;
  }
  for (auto const& root : widget.root_resources(state)) {
    for (auto const& verb : root.actions) {
      if (!verb.handler || !verb.contract || !verb.contract->unavailable) {
        continue;
      }
      if (auto it = out.find(verb.invoke({}).ns); it != out.end()) {
        it->second = false;
      }
    }
  }
  return out;
}

Reply apply(Request const& request, ApplyContext const& ctx) {
  return std::visit(
      [&](auto const& r) -> Reply {
        using T = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<T, request::Activate>) {
          if (ctx.activate) {
            ctx.activate(r.activation_token);
          }
          return Reply::value(g_variant_new("()"));
        } else if constexpr (std::is_same_v<T, request::RunAction>) {
          return run_action(r, ctx);
        } else if constexpr (std::is_same_v<T, request::ListActions>) {
          GVariantBuilder names;
          g_variant_builder_init(&names, G_VARIANT_TYPE("as"));
          for (auto const& a : ctx.actions) {
            g_variant_builder_add(&names, "s", a.id.c_str());
          }
          return Reply::value(g_variant_new("(as)", &names));
        } else if constexpr (std::is_same_v<T, request::DescribeAction>) {
          auto const enabled = action_enabled(ctx.widget, ctx.state, ctx.actions);
          for (auto const& a : ctx.actions) {
            if (a.id == r.id) {
              return Reply::value(g_variant_new("(@(bgav))", describe(a, enabled.at(a.id))));
            }
          }
          return Reply::failure({INVALID_ARGS, "no published action named " + quoted_input(r.id)});
        } else if constexpr (std::is_same_v<T, request::DescribeAll>) {
          auto const enabled = action_enabled(ctx.widget, ctx.state, ctx.actions);
          GVariantBuilder all;
          g_variant_builder_init(&all, G_VARIANT_TYPE("a{s(bgav)}"));
          for (auto const& a : ctx.actions) {
            g_variant_builder_add(&all, "{s@(bgav)}", a.id.c_str(), describe(a, enabled.at(a.id)));
          }
          return Reply::value(g_variant_new("(a{s(bgav)})", &all));
        } else if constexpr (std::is_same_v<T, request::ListResources>) {
          return Reply::value(
              g_variant_new("(s)", resources_json(ctx.widget.root_resources(ctx.state)).c_str()));
        } else if constexpr (std::is_same_v<T, request::ResolveResource>) {
          auto const found = ctx.widget.resolve_resource(ctx.state, r.id);
          if (!found) {
            return Reply::failure({INVALID_ARGS, "no resource with the id " + quoted_input(r.id)});
          }
          return Reply::value(g_variant_new("(s)", resource_json(*found).c_str()));
        } else if constexpr (std::is_same_v<T, request::InvokeResource>) {
          return invoke_resource(r, ctx);
        } else if constexpr (std::is_same_v<T, request::DispatchAction>) {
          zarn_actions::EncodedAction const action{r.ns, {r.payload.begin(), r.payload.end()}};
          auto applied = apply_encoded(ctx.state, action);
          if (!applied) {
            return Reply::failure(
                {INVALID_ARGS, "no decoder for action namespace " + quoted_input(r.ns)});
          }
          if (!*applied) {
            return Reply::failure(std::move(applied->error()));
          }
          return Reply::value(outcome_tuple(**applied));
        } else if constexpr (std::is_same_v<T, request::StartAction>) {
          return Reply::value(
              outcome_tuple(ctx.widget.start_action(r.request, r.effect, r.id, bytes(r.argument))));
        } else {
          return take_result(r, ctx);
        }
      },
      request);
}

} // namespace zarn_ui::bus
