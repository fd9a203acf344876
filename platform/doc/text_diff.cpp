#include "platform/doc/text_diff.h"

#include <string>

#include "base/utf8.h"

namespace zarn_ui::doc {

namespace {

std::u32string code_points(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  base::utf8::for_each_code_point(text, [&](char32_t cp) { out.push_back(cp); });
  return out;
}

} // namespace

base::Result<void> splice_text_diffed(Document& doc, ObjId const& text, std::string_view new_text) {
  if (!base::utf8::is_valid(new_text)) {
    return base::fail("text is not valid UTF-8");
  }
  auto old_text = doc.text(text);
  if (!old_text) {
    return base::fail(old_text.error());
  }
  if (*old_text == new_text) {
    return {};
  }
  auto const before = code_points(*old_text);
  auto const after = code_points(new_text);
  std::size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  // Byte range of the new middle.
  auto const from = base::utf8::offset_of(new_text, prefix);
  auto const to = base::utf8::offset_of(new_text, after.size() - suffix);
  return doc.splice_text(text, prefix, before.size() - prefix - suffix,
                         new_text.substr(from, to - from));
}

} // namespace zarn_ui::doc
