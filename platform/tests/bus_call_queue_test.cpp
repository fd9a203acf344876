// The calls waiting for the UI thread: each caller's in order, callers in turn.

#include "platform/bus/call_queue.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace zarn_ui::bus {
namespace {

// Each step pushes "caller:call" or, for "-", takes the next call.
TEST(CallQueue, EachCallerInOrderCallersInTurn) {
  struct Case {
    char const* name;
    std::vector<std::string> steps;
    std::vector<std::string> taken;
  } const cases[] = {
      {"one caller", {"a:1", "a:2", "a:3", "-", "-", "-", "-"}, {"1", "2", "3"}},
      {"a flood and one other caller",
       {"a:1", "a:2", "a:3", "b:x", "-", "-", "-", "-"},
       {"1", "x", "2", "3"}},
      {"three callers", {"a:1", "b:x", "a:2", "c:y", "-", "-", "-", "-"}, {"1", "x", "y", "2"}},
      {"a caller that ran dry joins at the back",
       {"a:1", "a:2", "b:x", "-", "-", "b:z", "-", "-"},
       {"1", "x", "2", "z"}},
      {"the process's own call is a caller too",
       {"a:1", "a:2", ":start", "-", "-", "-"},
       {"1", "start", "2"}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    CallQueue<std::string> queue;
    std::vector<std::string> taken;
    for (auto const& step : c.steps) {
      if (step == "-") {
        if (auto next = queue.pop()) {
          taken.push_back(*next);
        }
        continue;
      }
      auto const colon = step.find(':');
      queue.push(step.substr(0, colon), step.substr(colon + 1));
    }
    EXPECT_EQ(taken, c.taken);
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(queue.size(), 0u);
  }
}

} // namespace
} // namespace zarn_ui::bus
