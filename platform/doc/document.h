#pragma once
// The application's CRDT document: a root Map holding nested Maps, Lists, Texts and scalars,
// with every write recorded as an op with an id (counter, actor). Concurrent writes to one Map
// key are all kept (`get` answers the winner, `get_all` every one); Lists and Texts are
// sequences that merge deterministically. Writes join one implicit transaction that `commit`
// turns into a hashed change; `save`/`load` persist the change log in our own binary format.
// A long history is compacted into a snapshot of the current state (conflicts, deleted list
// and text elements and the heads included), so a document stays proportional to its content;
// documents forked before the compaction still merge with it in both directions.
// Not offered: a sync protocol, undo, cursors, marks, counters or timestamps as scalar kinds.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/result.h"

namespace zarn_ui::doc {

enum class ObjType : std::uint8_t { Map, List, Text };

/// An object of a document: the root, or the id of the op that created it. It names the same
/// object in every document that shares the history (forks, merges, saved and loaded copies).
struct ObjId {
  std::uint64_t counter = 0; // 0: the root Map
  std::uint64_t actor = 0;   // a 64-bit digest of the creating actor's bytes
  static constexpr ObjId root() { return ObjId{}; }
  bool is_root() const { return counter == 0; }
  bool operator==(ObjId const&) const = default;
};

/// Scalar kinds: string, boolean, f64, int (signed 64-bit), uint (unsigned 64-bit). Spell the
/// numeric alternative out when building one (`ScalarValue{std::int64_t{5}}`): a literal would
/// pick an unintended alternative.
using ScalarValue = std::variant<std::string, bool, double, std::int64_t, std::uint64_t>;

/// A value at a key or index: a scalar, or an object of the given type.
struct Value {
  std::variant<ScalarValue, ObjType> v;

  bool is_object() const { return v.index() == 1; }
  std::optional<ObjType> object_type() const {
    return is_object() ? std::optional(std::get<ObjType>(v)) : std::nullopt;
  }
  ScalarValue const* scalar() const { return std::get_if<ScalarValue>(&v); }
  bool operator==(Value const&) const = default;
};

/// A value together with the id of the op that wrote it; for an object that id is its ObjId.
struct ValueRef {
  Value value;
  ObjId id;
};

using ChangeHash = std::array<std::uint8_t, 32>;
using Bytes = std::vector<std::uint8_t>;

/// Lower-case hexadecimal text of a hash, for logs and tests.
std::string to_hex(ChangeHash const& hash);

/// A committed change as it travels between documents and into the saved file.
struct Change {
  ChangeHash hash{};
  Bytes actor;
  std::uint64_t seq = 0;
  std::uint64_t start_op = 0;
  std::size_t op_count = 0;
  std::vector<ChangeHash> deps; // sorted
  Bytes encoded;                // the canonical encoding the hash is taken of
};

namespace detail {
struct State;
}

class Document {
public:
  /// A new, empty document writing with a random 16-byte actor.
  Document();
  /// A new, empty document writing with the given actor (tests inject it for determinism).
  explicit Document(Bytes actor);
  ~Document();
  Document(Document const& other);
  Document& operator=(Document const& other);
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;

  /// Reads a document written by `save`, replaying and checking every change. Any corrupt,
  /// truncated or inconsistent input is an error; the answer then holds no partial state.
  static base::Result<Document> load(std::span<std::uint8_t const> bytes);
  /// Commits, then encodes the document: its snapshot, if any, and the changes since. When
  /// `compaction_due`, the document is compacted first.
  Bytes save();
  /// Commits, then answers whether the changes since the snapshot outweigh a fresh snapshot
  /// (the rule is in saved_file.cpp).
  bool compaction_due();
  /// Commits, then encodes the document as `compact` would leave it, without changing it: a
  /// writer calls `compact` once the bytes are safely stored, so that the document never
  /// stands on a snapshot that no file holds.
  Bytes save_compacted();
  /// Commits, then makes the current state the snapshot and forgets the change log. Objects
  /// that nothing visible leads to are dropped; later ops on them (from a writer that had not
  /// seen them go) change nothing.
  void compact();
  bool is_compacted() const;
  /// Grows whenever a change joins the document (commit, merge, load), never shrinks: tells an
  /// edit apart where the change log's length cannot, because compaction empties it.
  std::uint64_t revision() const;

  // Reads. Unknown objects, the wrong object kind and out-of-range indexes are errors;
  // a missing key is an empty answer.
  base::Result<std::optional<ValueRef>> get(ObjId const& obj, std::string_view key) const;
  base::Result<std::optional<ValueRef>> get(ObjId const& obj, std::size_t index) const;
  base::Result<std::vector<ValueRef>> get_all(ObjId const& obj, std::string_view key) const;
  /// Every element of a List in order (one pass, where `get` by index walks the list).
  base::Result<std::vector<ValueRef>> list_items(ObjId const& list) const;
  /// The keys of a Map in byte order.
  base::Result<std::vector<std::string>> keys(ObjId const& obj) const;
  /// Elements of a List, code points of a Text, keys of a Map.
  base::Result<std::size_t> length(ObjId const& obj) const;
  base::Result<std::string> text(ObjId const& obj) const;
  base::Result<ObjType> object_type(ObjId const& obj) const;

  // Writes into the open transaction.
  /// Overwrites every value visible at the key.
  base::Result<void> put(ObjId const& obj, std::string_view key, ScalarValue value);
  base::Result<ObjId> put_object(ObjId const& obj, std::string_view key, ObjType type);
  /// Inserts before position `index` of a List (index == length appends).
  base::Result<void> insert(ObjId const& list, std::size_t index, ScalarValue value);
  base::Result<ObjId> insert_object(ObjId const& list, std::size_t index, ObjType type);
  /// Deletes every value visible at the key; an absent key records nothing.
  base::Result<void> delete_key(ObjId const& obj, std::string_view key);
  /// Deletes one element of a List or one code point of a Text.
  base::Result<void> delete_index(ObjId const& seq, std::size_t index);
  /// Deletes `del` code points at `pos` of a Text and inserts `insert` (valid UTF-8) there.
  base::Result<void> splice_text(ObjId const& text, std::size_t pos, std::size_t del,
                                 std::string_view insert);

  // History.
  /// Ops written since the last commit.
  std::size_t pending_ops() const;
  /// Turns the open transaction into a change; nothing when it is empty.
  std::optional<ChangeHash> commit();
  /// Drops the ops written since the last commit; answers how many. Costs a replay of the
  /// change log, so it suits error paths (a failed action), not routine use.
  std::size_t rollback();
  /// Commits, then answers the hashes no change depends on, sorted.
  std::vector<ChangeHash> heads();
  /// Every change since the snapshot, in the order it was applied (a causal order). Commits
  /// first.
  std::vector<Change> const& changes();
  std::optional<Change> get_change_by_hash(ChangeHash const& hash) const;

  Bytes const& actor() const;
  /// Commits what the old actor wrote, then writes with `actor` (must not be empty).
  base::Result<void> set_actor(Bytes actor);

  /// A copy (committed first) writing with a new random actor.
  Document fork();
  /// Applies the other's changes that this one lacks, in causal order. When the other was
  /// compacted past changes this one lacks, this one takes the other's snapshot and adds its
  /// own changes to it. Both are committed first. On error this document is unchanged; two
  /// documents each compacted past changes the other lacks cannot merge.
  base::Result<void> merge(Document& other);

private:
  static base::Result<Document> load_checked(std::span<std::uint8_t const> bytes);

  std::unique_ptr<detail::State> state_;
};

} // namespace zarn_ui::doc
