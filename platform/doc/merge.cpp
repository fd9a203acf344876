// Merging documents, also across a compaction: a document whose snapshot holds changes the
// other lacks takes the other's changes; the other way round it takes the other's snapshot and
// adds its own changes, which the snapshot's clocks tell apart from the ones it covers.

#include "platform/doc/document.h"
#include "platform/doc/state.h"

namespace zarn_ui::doc {

namespace {

// Whether every change `from`'s snapshot holds is also in `into`, in its log or its snapshot.
bool holds_base_of(detail::State const& into, detail::State const& from) {
  for (std::size_t i = 0; i < from.actors.size(); ++i) {
    if (from.covered_seq[i] == 0) {
      continue;
    }
    std::uint64_t have = 0;
    for (std::size_t k = 0; k < into.actors.size(); ++k) {
      if (into.actors[k] == from.actors[i]) {
        have = into.last_seq[k];
        break;
      }
    }
    if (have < from.covered_seq[i]) {
      return false;
    }
  }
  return true;
}

// Adds to `into` the changes of `from` it lacks; `into` holds the base of `from`.
base::Result<void> take_changes(detail::State& into, detail::State const& from) {
  // Changes in `from`'s snapshot are in `into` already; where only as part of its snapshot,
  // their hashes become known there, so that changes naming them as deps apply.
  for (auto const& h : from.covered_hashes) {
    if (!into.by_hash.contains(h)) {
      into.covered_hashes.insert(h);
    }
  }
  for (auto const& c : from.log) {
    if (into.by_hash.contains(c.hash) || into.covered_hashes.contains(c.hash)) {
      continue;
    }
    if (detail::is_covered(into, std::string(c.actor.begin(), c.actor.end()), c.seq)) {
      into.covered_hashes.insert(c.hash);
      continue;
    }
    if (auto r = detail::apply_encoded(into, c.encoded); !r) {
      return base::fail("merge failed: " + r.error());
    }
  }
  return {};
}

} // namespace

base::Result<void> Document::merge(Document& other) {
  commit();
  other.commit();
  auto const& mine = *state_;
  auto const& theirs = *other.state_;
  if (holds_base_of(mine, theirs)) {
    detail::State next(mine);
    if (auto r = take_changes(next, theirs); !r) {
      return r;
    }
    *state_ = std::move(next);
    return {};
  }
  if (!holds_base_of(theirs, mine)) {
    return base::fail("merge failed: both documents were compacted past changes the other lacks");
  }
  // The other's snapshot holds changes this one lacks: start from it, add what only this one
  // has, and go on writing as before.
  detail::State next(theirs);
  auto const self = next.intern_actor(mine.actors[mine.self]);
  if (!self) {
    return base::fail("merge failed: actor digest collision");
  }
  next.self = *self;
  next.actor_bytes = mine.actor_bytes;
  next.last_snapshot_bytes = mine.last_snapshot_bytes;
  if (auto r = take_changes(next, mine); !r) {
    return r;
  }
  next.revision = mine.revision + 1;
  *state_ = std::move(next);
  return {};
}

} // namespace zarn_ui::doc
