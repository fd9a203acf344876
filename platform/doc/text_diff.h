#pragma once
// Replacing the content of a Text with as few ops as possible.

#include <string_view>

#include "base/result.h"
#include "platform/doc/document.h"

namespace zarn_ui::doc {

/// Makes `text` hold `new_text` (valid UTF-8): the common prefix and suffix, in code points,
/// stay; only the middle is spliced. An unchanged text records no op.
base::Result<void> splice_text_diffed(Document& doc, ObjId const& text, std::string_view new_text);

} // namespace zarn_ui::doc
