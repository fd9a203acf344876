#include "platform/actions/executor.h"

#include <gtest/gtest.h>

namespace zarn_actions {
namespace {

using zarn_ui::doc::Document;
using zarn_ui::doc::ObjId;
using zarn_ui::doc::ScalarValue;

// Writes a key, then fails when told to.
class WritingAction final : public TypedAction {
public:
  explicit WritingAction(bool fail) : fail_(fail) {}
  std::string debug_text() const override { return "WritingAction"; }
  base::Result<void> apply_action_to_doc(Document& doc) const override {
    if (auto r = doc.put(ObjId::root(), "written", ScalarValue{true}); !r) {
      return r;
    }
    if (fail_) {
      return base::fail("updater failed");
    }
    return {};
  }

private:
  bool fail_;
};

class RefusingTransport final : public ActionTransport {
public:
  ActionResult<void> replicate(EncodedAction const&, ActionContext const*) override {
    ++calls;
    return tl::unexpected(ActionError::rejected("transport refused"));
  }
  int calls = 0;
};

bool written(Document& doc) {
  auto v = doc.get(ObjId::root(), "written");
  return v && v->has_value();
}

TEST(Executor, OnlyAnAppliedActionIsReplicatedAndARefusedOneLeavesNoTrace) {
  EncodedAction const encoded{"test.action", {'1'}};

  Document failing;
  auto const before = failing.heads();
  LocalTransport local;
  auto const failed =
      executor::dispatch_by(failing, WritingAction(true), encoded, local, failing.actor());
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().message, "updater failed");
  EXPECT_TRUE(local.sent.empty()) << "a dropped action never reaches other replicas";
  EXPECT_EQ(failing.heads(), before);

  Document refused;
  RefusingTransport refusing;
  auto const r =
      executor::dispatch_by(refused, WritingAction(false), encoded, refusing, refused.actor());
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().message, "transport refused");
  EXPECT_EQ(refusing.calls, 1);
  EXPECT_FALSE(written(refused));
  EXPECT_EQ(refused.pending_ops(), 0u);
  EXPECT_TRUE(refused.heads().empty());

  Document ok;
  auto const done = executor::dispatch_by(ok, WritingAction(false), encoded, local, ok.actor());
  ASSERT_TRUE(done) << done.error().display();
  EXPECT_TRUE(done->change.has_value());
  EXPECT_EQ(local.sent.size(), 1u);
  EXPECT_TRUE(written(ok));
}

} // namespace
} // namespace zarn_actions
