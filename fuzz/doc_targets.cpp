// Document files: loaded as they come (doc_load) and after the repair that lets mutations reach
// the change decoder (doc_changes). A loaded document saves to a file that loads again and
// saves to the same bytes, and the application's model reader copes with whatever it holds.

#include "doc/load.h"
#include "doc_repair.h"
#include "platform/doc/document.h"
#include "targets.h"

namespace maps::fuzz {
namespace {

bool load_save_load(Bytes file) {
  auto doc = zarn_ui::doc::Document::load(file);
  if (!doc) {
    check(!doc.error().empty(), "a refused document without a reason");
    return false;
  }
  auto const saved = doc->save();
  auto again = zarn_ui::doc::Document::load(saved);
  check(again.has_value(), "a saved document does not load");
  check(again->heads() == doc->heads(), "a reloaded document has other heads");
  check(again->save() == saved, "a reloaded document saves to other bytes");
  (void)load_model_from_doc(*again);
  return true;
}

} // namespace

bool doc_load(Bytes data) {
  return load_save_load(data);
}

bool doc_changes(Bytes data) {
  auto const file = repair_document(data);
  return load_save_load(file);
}

} // namespace maps::fuzz
