#pragma once
// Method calls and signal bodies as another process can send them: a method of an introspected
// interface with its arguments deserialised from fuzz bytes at the method's in-signature, as
// GDBus hands them to a handler after checking the signature, and a reply checked against the
// out-signature. Also aborts on GLib criticals, which flag a value GLib refused to build.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gio/gio.h>

#include "fuzz_input.h"

namespace maps::fuzz {

/// Owns one reference: takes a floating one or the caller's full one.
class Variant {
public:
  Variant() = default;
  explicit Variant(GVariant* v) : v_(v ? g_variant_take_ref(v) : nullptr) {}
  Variant(Variant&& o) noexcept : v_(std::exchange(o.v_, nullptr)) {}
  Variant& operator=(Variant&& o) noexcept {
    std::swap(v_, o.v_);
    return *this;
  }
  Variant(Variant const&) = delete;
  Variant& operator=(Variant const&) = delete;
  ~Variant() {
    if (v_) {
      g_variant_unref(v_);
    }
  }
  GVariant* get() const { return v_; }

private:
  GVariant* v_ = nullptr;
};

/// A value of `type` from `bytes` in its serialised form, as untrusted data (GLib gives the
/// type's default for any part that is not well formed), then made normal as a received message
/// would be.
Variant value_from_bytes(GVariantType const* type, Bytes bytes);

/// A value of a type the input names (a type string and its length-prefixed serialised data),
/// for signals, whose bodies no signature check guards; `fallback` when the named type is not
/// valid.
Variant value_of_any_type(FuzzInput& in, GVariantType const* fallback);
/// A value of `type` from the input's next length-prefixed data.
Variant value_of_type(FuzzInput& in, GVariantType const* type);

struct MethodCall {
  std::string interface;
  std::string method;
  GDBusMethodInfo const* info = nullptr;
  Variant parameters; // the in-arguments tuple
};

struct PropertyRead {
  std::string interface;
  std::string property;
  std::string signature;
};

/// The interfaces and methods of one introspection document.
class Introspection {
public:
  explicit Introspection(std::string const& xml);
  ~Introspection();
  Introspection(Introspection const&) = delete;
  Introspection& operator=(Introspection const&) = delete;

  /// A call to one of the methods, its arguments from the rest of the input.
  MethodCall call(FuzzInput& in) const;
  /// The choice `call` reads for a method (for writing seeds).
  std::size_t method_index(std::string_view interface, std::string_view method) const;
  /// A read of one of the properties.
  PropertyRead property(FuzzInput& in) const;

private:
  GDBusNodeInfo* node_ = nullptr;
};

/// The tuple type of a method's in- or out-arguments (caller frees).
GVariantType* args_type(GDBusArgInfo* const* args);

/// A reply is a tuple of the method's out-signature; an error has a valid error name and a
/// UTF-8 message.
void check_reply(MethodCall const& call, GVariant* reply);
void check_error(std::string_view name, std::string_view message);

/// Makes GLib criticals abort, once per process.
void fatal_glib_criticals();

} // namespace maps::fuzz
