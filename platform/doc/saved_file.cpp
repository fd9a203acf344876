// The saved file, version 3: magic, version, the snapshot the document starts from (length-
// prefixed, empty when it has none), the hashes of snapshot changes that logged changes name as
// deps, the change log since the snapshot, the heads, and a SHA-256 of everything before.
// Version 2 files (the same, with a snapshot that writes one record per list or text element)
// and version 1 files (the change log from the start, the heads and the checksum) still load.

#include <new>
#include <unordered_set>

#include <fmt/format.h>

#include "platform/doc/document.h"
#include "platform/doc/state.h"
#include "platform/doc/wire.h"

namespace zarn_ui::doc {

namespace {

constexpr std::array<std::uint8_t, 4> MAGIC = {'Z', 'D', 'O', 'C'};
constexpr std::uint8_t VERSION_FULL_LOG = 1;
constexpr std::uint8_t VERSION_ELEMENT_SNAPSHOT = 2;
constexpr std::uint8_t VERSION = 3;

// A save compacts when the change log since the last snapshot takes at least 64 KiB and more
// than half the snapshot of the current state. Replaying a change costs several times what
// restoring the same state from a snapshot does, so a large document starts from its snapshot
// (one imported in a single change too), and the file stays under about one and a half times
// what the user has plus 64 KiB, however long the history; small documents keep every change.
constexpr std::size_t COMPACT_MIN_LOG_BYTES = std::size_t{64} << 10;

bool log_outweighs(std::size_t log_bytes, std::size_t snapshot_bytes) {
  return log_bytes >= COMPACT_MIN_LOG_BYTES && 2 * log_bytes > snapshot_bytes;
}

base::Result<void> read_log(detail::State& s, wire::Reader& r) {
  auto n = r.count(2);
  if (!n) {
    return base::fail(n.error());
  }
  for (std::size_t i = 0; i < *n; ++i) {
    auto len = r.count();
    if (!len) {
      return base::fail(len.error());
    }
    auto raw = r.raw(*len);
    if (!raw) {
      return base::fail(raw.error());
    }
    if (auto a = detail::apply_encoded(s, Bytes(raw->begin(), raw->end())); !a) {
      return base::fail(fmt::format("change {}: {}", i, a.error()));
    }
  }
  return {};
}

} // namespace

base::Result<Document> Document::load(std::span<std::uint8_t const> bytes) {
  // Every count is checked against the bytes left, but a crafted file can still ask for more
  // memory than there is: that is a bad file too, not a crash.
  try {
    return load_checked(bytes);
  } catch (std::bad_alloc const&) {
    return base::fail("document is too large to load");
  }
}

base::Result<Document> Document::load_checked(std::span<std::uint8_t const> bytes) {
  constexpr std::size_t header = 5;
  constexpr std::size_t trailer = 32;
  if (bytes.size() < header + trailer) {
    return base::fail("document is truncated");
  }
  if (!std::equal(MAGIC.begin(), MAGIC.end(), bytes.begin())) {
    return base::fail("not a document file");
  }
  auto const version = bytes[4];
  if (version != VERSION && version != VERSION_ELEMENT_SNAPSHOT && version != VERSION_FULL_LOG) {
    return base::fail(fmt::format("unsupported document version {}", version));
  }
  auto const body = bytes.first(bytes.size() - trailer);
  auto const sum = detail::sha256(body);
  if (!std::equal(sum.begin(), sum.end(), bytes.end() - trailer)) {
    return base::fail("document checksum mismatch");
  }
  auto corrupt = [](std::string const& why) { return base::fail("document is corrupt: " + why); };
  Document doc;
  auto s = std::make_unique<detail::State>();
  wire::Reader r(body.subspan(header));
  if (version != VERSION_FULL_LOG) {
    auto len = r.count();
    if (!len) {
      return corrupt(len.error());
    }
    auto base = r.raw(*len);
    if (!base) {
      return corrupt(base.error());
    }
    if (*len > 0) {
      auto const format =
          version == VERSION ? detail::SnapshotFormat::Runs : detail::SnapshotFormat::Elements;
      if (auto restored = detail::restore_snapshot(*s, *base, format); !restored) {
        return corrupt("snapshot: " + restored.error());
      }
      // The state keeps its base in the present format, which the next save writes.
      if (format == detail::SnapshotFormat::Runs) {
        s->base.assign(base->begin(), base->end());
      } else {
        s->base = detail::encode_snapshot(*s);
      }
    }
    auto known = detail::read_hashes(r);
    if (!known) {
      return corrupt(known.error());
    }
    if (!known->empty() && s->base.empty()) {
      return corrupt("hashes of a snapshot without one");
    }
    s->covered_hashes.insert(known->begin(), known->end());
  }
  // The document's own (new, random) actor joins after the snapshot's table.
  s->self = *s->intern_actor(std::string(doc.actor().begin(), doc.actor().end()));
  s->actor_bytes = doc.actor();
  if (auto log = read_log(*s, r); !log) {
    return corrupt(log.error());
  }
  auto heads = detail::read_hashes(r);
  if (!heads) {
    return corrupt(heads.error());
  }
  if (!r.at_end()) {
    return corrupt("trailing bytes");
  }
  if (*heads != s->heads) {
    return corrupt("heads do not match its changes");
  }
  doc.state_ = std::move(s);
  return doc;
}

namespace {

Bytes encode_file(detail::State const& st, Bytes const& base, bool with_log) {
  Bytes out(MAGIC.begin(), MAGIC.end());
  out.push_back(VERSION);
  wire::put_uleb(out, base.size());
  wire::put_raw(out, base);
  std::vector<ChangeHash> known;
  if (with_log) {
    std::unordered_set<ChangeHash, detail::HashHash> listed;
    for (auto const& c : st.log) {
      for (auto const& d : c.deps) {
        if (!st.by_hash.contains(d) && listed.insert(d).second) {
          known.push_back(d);
        }
      }
    }
    std::sort(known.begin(), known.end());
  }
  detail::put_hashes(out, known);
  wire::put_uleb(out, with_log ? st.log.size() : 0);
  if (with_log) {
    for (auto const& c : st.log) {
      wire::put_uleb(out, c.encoded.size());
      wire::put_raw(out, c.encoded);
    }
  }
  detail::put_hashes(out, st.heads);
  auto const sum = detail::sha256(out);
  wire::put_raw(out, sum);
  return out;
}

} // namespace

bool Document::compaction_due() {
  commit();
  auto& s = *state_;
  if (!log_outweighs(s.log_bytes, s.last_snapshot_bytes)) {
    // The last measured snapshot stands in for the present one until the log outgrows it.
    return false;
  }
  s.last_snapshot_bytes = detail::encode_snapshot(s).size();
  return log_outweighs(s.log_bytes, s.last_snapshot_bytes);
}

Bytes Document::save() {
  if (compaction_due()) {
    compact();
  }
  return encode_file(*state_, state_->base, true);
}

Bytes Document::save_compacted() {
  commit();
  return encode_file(*state_, detail::encode_snapshot(*state_), false);
}

void Document::compact() {
  commit();
  detail::compact(*state_);
}

bool Document::is_compacted() const {
  return !state_->base.empty();
}

std::uint64_t Document::revision() const {
  return state_->revision;
}

} // namespace zarn_ui::doc
