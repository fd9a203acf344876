// Services that ask for a pause (429 or 503 with Retry-After): no request reaches them before
// its end, the failure says until when, and other services are not affected.

#include "net/service_pause.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "local_server.h"
#include "net/http.h"
#include "net/poi.h"

namespace maps {
namespace {

using namespace std::chrono_literals;

/// An HTTP date `ahead` from now, as a Retry-After may carry it.
std::string http_date(std::chrono::seconds ahead) {
  std::time_t const t =
      std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() + ahead);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
  return text;
}

/// A service that answers every request with one status and headers, counting the requests.
class Answering {
public:
  Answering(int status, std::string retry_after) {
    srv_.server().Get(
        ".*", [this, status, retry_after](httplib::Request const&, httplib::Response& res) {
          ++hits;
          res.status = status;
          if (!retry_after.empty()) {
            res.set_header("Retry-After", retry_after);
          }
          res.set_content(status == 200 ? "[]" : R"({"message": "slow down"})", "application/json");
        });
    srv_.start();
  }
  std::string url() const { return srv_.base_url() + "/search?q=x"; }
  std::atomic<int> hits{0};

private:
  test::LocalServer srv_;
};

class ServicePauseTest : public ::testing::Test {
protected:
  void TearDown() override { forget_service_pauses(); }
};

TEST_F(ServicePauseTest, RetryAfterPausesTheServiceAndTheErrorSaysUntilWhen) {
  struct Case {
    char const* name;
    int status;
    std::string retry_after;
    std::optional<std::chrono::seconds> pause; // none: an ordinary failure, nothing paused
    std::string error;                         // of an ordinary failure
  };
  Case const cases[] = {
      {"429 with seconds", 429, "120", 120s, ""},
      {"503 with an HTTP date", 503, http_date(90s), 90s, ""},
      {"a pause beyond the cap", 429, "86400", MAX_SERVICE_PAUSE, ""},
      {"429 without Retry-After", 429, "", std::nullopt, "slow down"},
      {"500 with Retry-After", 500, "120", std::nullopt, "slow down"},
      {"a Retry-After that is no number", 503, "soon", std::nullopt, "slow down"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Answering busy(c.status, c.retry_after);
    Answering other(200, "");
    auto const start = std::chrono::steady_clock::now();
    auto const first = fetch_json(busy.url(), 5s);
    ASSERT_FALSE(first.has_value());
    auto const pause = service_paused(busy.url());
    if (!c.pause) {
      EXPECT_EQ(first.error(), c.error);
      EXPECT_FALSE(pause.has_value());
      continue;
    }
    ASSERT_TRUE(pause.has_value());
    EXPECT_EQ(first.error(), service_busy_text(*pause));
    EXPECT_THAT(first.error(),
                ::testing::MatchesRegex("the service is busy until [0-9]{2}:[0-9]{2}"));
    // An HTTP date has whole seconds and the clock moved on: a second's leeway either way.
    EXPECT_GE(pause->until - start, *c.pause - 2s);
    EXPECT_LE(pause->until - start, *c.pause + 1s);

    auto const again = fetch_json(busy.url(), 5s);
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(again.error(), first.error());
    EXPECT_EQ(busy.hits, 1) << "asked again during the pause";
    EXPECT_TRUE(fetch_json(other.url(), 5s).has_value()) << "another service is not paused";
    forget_service_pauses();
  }
}

TEST_F(ServicePauseTest, APauseEndsOnTimeAndIsNeverShortened) {
  auto const t0 = std::chrono::steady_clock::now();
  std::string const url = "https://geo.test:8443/search?q=M%C3%BCnchen";
  pause_service(url, 120s, t0);
  EXPECT_TRUE(service_paused("https://geo.test:8443/reverse", t0 + 119s)) << "same origin";
  EXPECT_FALSE(service_paused("https://geo.test/search", t0 + 1s)) << "another port";
  EXPECT_FALSE(service_paused("http://geo.test:8443/search", t0 + 1s)) << "another scheme";
  // A shorter pause asked later does not bring the end forward.
  pause_service(url, 10s, t0 + 5s);
  EXPECT_TRUE(service_paused(url, t0 + 119s));
  EXPECT_FALSE(service_paused(url, t0 + 120s));
  // A zero or negative delay pauses nothing.
  pause_service(url, -5s, t0 + 200s);
  EXPECT_FALSE(service_paused(url, t0 + 200s));
}

TEST(PoiTimeout, TheClientWaitsLongerThanTheQueryGrantsTheService) {
  std::string const url = poi_query_url("https://poi.test", 48.1, 11.5, 48.2, 11.6);
  std::string const granted = "%5Btimeout%3A";
  auto const at = url.find(granted);
  ASSERT_NE(at, std::string::npos);
  int const server_seconds = std::stoi(url.substr(at + granted.size()));
  EXPECT_GE(POI_QUERY_TIMEOUT, std::chrono::seconds(server_seconds) + 5s);
  EXPECT_GT(POI_QUERY_TIMEOUT, QUERY_TIMEOUT);
}

} // namespace
} // namespace maps
