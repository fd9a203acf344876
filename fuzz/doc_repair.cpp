#include "doc_repair.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string>

#include <openssl/evp.h>

#include "platform/doc/document.h"
#include "platform/doc/wire.h"

namespace maps::fuzz {
namespace {

using zarn_ui::doc::ChangeHash;
namespace wire = zarn_ui::doc::wire;

// The saved file's framing: magic, version, changes, heads, SHA-256 of everything before.
constexpr std::array<std::uint8_t, 5> HEADER = {'Z', 'D', 'O', 'C', 1};
constexpr std::size_t HASH_BYTES = 32;

ChangeHash sha256(std::span<std::uint8_t const> bytes) {
  ChangeHash out{};
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), out.data(), &len, EVP_sha256(), nullptr);
  return out;
}

struct Chain {
  std::vector<ChangeHash> earlier; // in file order
  std::vector<ChangeHash> heads;   // sorted, as the loader keeps them
  std::map<std::string, std::uint64_t> last_seq;
};

// The change with its numbering and dependencies made to fit the chain so far; nothing when its
// leading fields do not even frame (it then goes in unchanged and the decoder refuses it).
std::optional<std::vector<std::uint8_t>> relink(std::span<std::uint8_t const> change,
                                                Chain& chain) {
  wire::Reader r(change);
  auto actor = r.string();
  auto seq = r.uleb();
  auto start_op = r.uleb();
  auto time = r.uleb();
  auto ndeps = r.uleb();
  if (!actor || !seq || !start_op || !time || !ndeps) {
    return std::nullopt;
  }
  std::vector<ChangeHash> deps;
  for (std::uint64_t i = 0; i < *ndeps && r.remaining() >= HASH_BYTES && !chain.earlier.empty();
       ++i) {
    auto const raw = r.raw(HASH_BYTES);
    std::size_t const pick = (std::size_t{(*raw)[0]} << 8 | (*raw)[1]) % chain.earlier.size();
    deps.push_back(chain.earlier[pick]);
  }
  std::sort(deps.begin(), deps.end());
  deps.erase(std::unique(deps.begin(), deps.end()), deps.end());
  auto const rest = r.raw(r.remaining());

  std::vector<std::uint8_t> out;
  wire::put_bytes(out, *actor);
  auto& last = chain.last_seq[*actor];
  wire::put_uleb(out, last + 1);
  wire::put_uleb(out, *start_op);
  wire::put_uleb(out, *time);
  wire::put_uleb(out, deps.size());
  for (auto const& d : deps) {
    wire::put_raw(out, d);
  }
  wire::put_raw(out, *rest);

  ++last;
  auto const hash = sha256(out);
  std::erase_if(chain.heads, [&](ChangeHash const& h) {
    return std::find(deps.begin(), deps.end(), h) != deps.end();
  });
  chain.heads.insert(std::lower_bound(chain.heads.begin(), chain.heads.end(), hash), hash);
  chain.earlier.push_back(hash);
  return out;
}

} // namespace

std::vector<std::uint8_t> repair_document(Bytes file) {
  wire::Reader r(file.size() >= HEADER.size() ? file.subspan(HEADER.size()) : Bytes{});
  std::vector<std::vector<std::uint8_t>> changes;
  auto const n = r.uleb();
  for (std::uint64_t i = 0; n && i < *n; ++i) {
    auto const len = r.uleb();
    if (!len) {
      break;
    }
    auto const raw = r.raw(std::min<std::uint64_t>(*len, r.remaining()));
    changes.emplace_back(raw->begin(), raw->end());
  }

  Chain chain;
  std::vector<std::uint8_t> out(HEADER.begin(), HEADER.end());
  wire::put_uleb(out, changes.size());
  for (auto const& change : changes) {
    auto const linked = relink(change, chain);
    auto const& bytes = linked ? *linked : change;
    wire::put_uleb(out, bytes.size());
    wire::put_raw(out, bytes);
  }
  wire::put_uleb(out, chain.heads.size());
  for (auto const& h : chain.heads) {
    wire::put_raw(out, h);
  }
  wire::put_raw(out, sha256(out));
  return out;
}

} // namespace maps::fuzz
