#pragma once
// Byte-level encoding shared by the change encoding and the saved file: LEB128 integers and
// length-prefixed byte strings, with a reader that checks every length against the bytes that
// remain, so corrupt input ends in an error and never in a huge allocation.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

/// In a function answering a base::Result: assigns the value of the Result `expr` to `dst`,
/// or returns its error.
#define WIRE_TRY_ASSIGN(dst, expr)                                                                 \
  do {                                                                                             \
    auto tmp_ = (expr);                                                                            \
    if (!tmp_) {                                                                                   \
      return base::fail(tmp_.error());                                                             \
    }                                                                                              \
    dst = std::move(*tmp_);                                                                        \
  } while (false)

namespace zarn_ui::doc::wire {

inline void put_uleb(std::vector<std::uint8_t>& out, std::uint64_t v) {
  do {
    std::uint8_t byte = v & 0x7f;
    v >>= 7;
    if (v != 0) {
      byte |= 0x80;
    }
    out.push_back(byte);
  } while (v != 0);
}

inline void put_bytes(std::vector<std::uint8_t>& out, std::string_view bytes) {
  put_uleb(out, bytes.size());
  out.insert(out.end(), bytes.begin(), bytes.end());
}

inline void put_raw(std::vector<std::uint8_t>& out, std::span<std::uint8_t const> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

class Reader {
public:
  explicit Reader(std::span<std::uint8_t const> bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size() - pos_; }
  bool at_end() const { return pos_ == bytes_.size(); }

  base::Result<std::uint8_t> u8() {
    if (remaining() < 1) {
      return base::fail("truncated");
    }
    return bytes_[pos_++];
  }

  base::Result<std::uint64_t> uleb() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (remaining() < 1) {
        return base::fail("truncated");
      }
      std::uint8_t const byte = bytes_[pos_++];
      std::uint64_t const bits = byte & 0x7f;
      if (shift == 63 && bits > 1) {
        return base::fail("integer out of range");
      }
      v |= bits << shift;
      if ((byte & 0x80) == 0) {
        return v;
      }
    }
    return base::fail("integer out of range");
  }

  /// A count of items that take at least `min_item_bytes` each: checked against what remains.
  base::Result<std::size_t> count(std::size_t min_item_bytes = 1) {
    auto n = uleb();
    if (!n) {
      return base::fail(n.error());
    }
    if (*n > remaining() / (min_item_bytes == 0 ? 1 : min_item_bytes)) {
      return base::fail("count exceeds the remaining bytes");
    }
    return static_cast<std::size_t>(*n);
  }

  base::Result<std::span<std::uint8_t const>> raw(std::size_t n) {
    if (n > remaining()) {
      return base::fail("truncated");
    }
    auto out = bytes_.subspan(pos_, n);
    pos_ += n;
    return out;
  }

  base::Result<std::string> string() {
    auto n = count();
    if (!n) {
      return base::fail(n.error());
    }
    auto r = raw(*n);
    if (!r) {
      return base::fail(r.error());
    }
    return std::string(reinterpret_cast<char const*>(r->data()), r->size());
  }

private:
  std::span<std::uint8_t const> bytes_;
  std::size_t pos_ = 0;
};

} // namespace zarn_ui::doc::wire
