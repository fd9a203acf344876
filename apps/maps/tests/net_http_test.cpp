#include "net/http.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ringbuffer_sink.h>

#include "local_server.h"
#include "net/json_repair.h"
#include "net/net_log.h"

namespace maps {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(HttpUrlEncode, KeepsUnreservedAndEscapesEveryOtherByte) {
  struct Case {
    char const* in;
    char const* out;
  } const cases[] = {
      {"", ""},
      {"ab cd", "ab%20cd"},
      {"+&=", "%2B%26%3D"},
      {"\xC3\xBC", "%C3%BC"},
      {"AZaz09-._~", "AZaz09-._~"},
      {"100%", "100%25"},
      {"a/b?c#d", "a%2Fb%3Fc%23d"},
      {"\x7F\xFF", "%7F%FF"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(url_encode(c.in), c.out);
  }
  EXPECT_EQ(url_encode(std::string_view("a\0b", 3)), "a%00b");
}

TEST(HttpStatusDisplay, CodeAndReasonPhrase) {
  struct Case {
    std::uint16_t code;
    char const* text;
  } const cases[] = {
      {404, "404 Not Found"},
      {500, "500 Internal Server Error"},
      {429, "429 Too Many Requests"},
      {400, "400 Bad Request"},
      {300, "300 Multiple Choices"},
      {199, "199 <unknown status code>"},
      {200, "200 OK"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(status_display(c.code), c.text);
  }
}

TEST(JsonRepair, BadBytesAndHugeNumbersOnly) {
  struct Case {
    char const* in;
    std::optional<std::string> out; // nothing: unchanged
  } const cases[] = {
      {R"({"a":"b","n":[1,-2.5e3,1e-400]})", std::nullopt},
      {"[\"\xFC\"]", "[\"\xEF\xBF\xBD\"]"},
      {"[\"\xE2\x82\"]", "[\"\xEF\xBF\xBD\xEF\xBF\xBD\"]"}, // a cut-off sequence
      {"[\"\xED\xA0\x80\"]",
       "[\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"]"}, // a surrogate
      {R"([1e400,-1E+400,2])", "[null,null,2]"},
      {R"(["1e400"])", std::nullopt}, // inside a string
      {R"([""ü",0.0000001e-400])", std::nullopt},
      {R"([100000000000000000000000000000000000000000000000000e300])", "[null]"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(repair_json_text(c.in), c.out);
  }
}

TEST(HttpCryptoProvider, RepeatedAndConcurrentCallsAreHarmless) {
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([] { ensure_crypto_provider(); });
  }
  for (auto& t : threads) {
    t.join();
  }
  ensure_crypto_provider();
  EXPECT_TRUE(HttpClient::build(1s).has_value());
}

class HttpServed : public ::testing::Test {
protected:
  void SetUp() override {
    auto& s = srv.server();
    s.Get("/ok", [this](httplib::Request const& req, httplib::Response& res) {
      std::lock_guard lock(mutex);
      user_agent = req.get_header_value("User-Agent");
      res.set_content(R"({"answer": 42})", "application/json");
    });
    s.Get("/hop", [](httplib::Request const&, httplib::Response& res) { res.set_redirect("/ok"); });
    s.Get("/loop",
          [](httplib::Request const&, httplib::Response& res) { res.set_redirect("/loop"); });
    s.Get("/status/(\\d+)", [](httplib::Request const& req, httplib::Response& res) {
      res.status = std::stoi(req.matches[1]);
      res.set_content(R"({"error": "body of a failed status"})", "application/json");
    });
    s.Get("/empty", [](httplib::Request const&, httplib::Response& res) { res.status = 200; });
    s.Get("/malformed", [](httplib::Request const&, httplib::Response& res) {
      res.set_content(R"({"elements": [1, 2)", "application/json");
    });
    s.Get("/array", [](httplib::Request const&, httplib::Response& res) {
      res.set_content("[1, 2, 3]", "application/json");
    });
    s.Get("/deep", [](httplib::Request const&, httplib::Response& res) {
      res.set_content(std::string(100000, '[') + std::string(100000, ']'), "application/json");
    });
    s.Get("/big", [](httplib::Request const&, httplib::Response& res) {
      res.set_content("\"" + std::string(4000, 'x') + "\"", "application/json");
    });
    s.Get("/big-404", [](httplib::Request const&, httplib::Response& res) {
      res.status = 404;
      res.set_content(std::string(4000, 'x'), "text/html");
    });
    s.Get("/big-chunked", [](httplib::Request const&, httplib::Response& res) {
      res.set_chunked_content_provider("application/json",
                                       [](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset >= 8000) {
                                           sink.done();
                                           return true;
                                         }
                                         std::string const part(1000, ' ');
                                         sink.write(part.data(), part.size());
                                         return true;
                                       });
    });
    srv.start();
  }

  std::string url(std::string const& path) const { return srv.base_url() + path; }

  std::mutex mutex;
  std::string user_agent;  // guarded by mutex
  test::LocalServer srv;   // last: stopped before the state its handlers touch goes away
};

TEST_F(HttpServed, ParsesTheBodyAndSendsTheUserAgent) {
  auto const v = fetch_json(url("/ok"));
  ASSERT_TRUE(v.has_value()) << v.error();
  EXPECT_EQ(*v, nlohmann::json({{"answer", 42}}));
  std::lock_guard lock(mutex);
  EXPECT_EQ(user_agent, USER_AGENT);
  // The contact comes from the build (MAPS_CONTACT_URL), the rest of the form is fixed.
  EXPECT_EQ(std::string(USER_AGENT),
            std::string("Zarn-Maps/0.1 (") + MAPS_CONTACT_URL + "; native maps app)");
  EXPECT_THAT(std::string(USER_AGENT), StartsWith("Zarn-Maps/0.1 (https://"));
}

TEST_F(HttpServed, FollowsRedirectsButNotForever) {
  auto const hop = fetch_json(url("/hop"));
  ASSERT_TRUE(hop.has_value()) << hop.error();
  EXPECT_EQ((*hop)["answer"], 42);

  auto const loop = fetch_json(url("/loop"));
  ASSERT_FALSE(loop.has_value());
  EXPECT_THAT(loop.error(), HasSubstr("redirect"));
}

TEST_F(HttpServed, StatusOutsideSuccessFailsWithCodeAndReason) {
  struct Case {
    int code;
    char const* error;
  } const cases[] = {
      {400, "HTTP 400 Bad Request"},       {404, "HTTP 404 Not Found"},
      {429, "HTTP 429 Too Many Requests"}, {500, "HTTP 500 Internal Server Error"},
      {300, "HTTP 300 Multiple Choices"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.code);
    auto const v = fetch_json(url("/status/" + std::to_string(c.code)));
    ASSERT_FALSE(v.has_value());
    EXPECT_EQ(v.error(), c.error);
  }
}

TEST_F(HttpServed, EmptyOrBrokenBodiesFailInWordsWithTheParserTextInTheLog) {
  auto const sink = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(8);
  net_logger()->sinks().push_back(sink);
  for (char const* path : {"/status/204", "/empty", "/malformed"}) {
    SCOPED_TRACE(path);
    auto const v = fetch_json(url(path));
    ASSERT_FALSE(v.has_value());
    EXPECT_EQ(v.error(), ANSWER_UNREADABLE);
  }
  net_logger()->sinks().pop_back();
  auto const lines = sink->last_formatted();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_THAT(lines[2], HasSubstr("parse error"));
  EXPECT_THAT(lines[2], HasSubstr("http://127.0.0.1:"));
  EXPECT_THAT(lines[2], Not(HasSubstr("/malformed"))); // the query stays out of the log
}

TEST_F(HttpServed, AnyJsonValueIsReturnedAsIs) {
  auto const v = fetch_json(url("/array"));
  ASSERT_TRUE(v.has_value()) << v.error();
  EXPECT_TRUE(v->is_array());
}

TEST_F(HttpServed, RefusesDeeplyNestedJson) {
  auto const v = fetch_json(url("/deep"));
  ASSERT_FALSE(v.has_value());
  EXPECT_EQ(v.error(), ANSWER_UNREADABLE);
}

TEST_F(HttpServed, BodyOverTheLimitIsRefused) {
  for (char const* path : {"/big", "/big-chunked"}) {
    SCOPED_TRACE(path);
    auto const v = fetch_json(url(path), 5s, 1000);
    ASSERT_FALSE(v.has_value());
    EXPECT_EQ(v.error(), ANSWER_TOO_LARGE);
  }
  // The status decides first: a failed status with a long body is a status error.
  auto const missing = fetch_json(url("/big-404"), 5s, 1000);
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error(), "HTTP 404 Not Found");
  auto const fits = fetch_json(url("/big"), 5s, 4002);
  EXPECT_TRUE(fits.has_value()) << fits.error();
}

TEST_F(HttpServed, ReusableClientReportsStatusesAndSkipsFailedBodies) {
  auto client = HttpClient::build(5s);
  ASSERT_TRUE(client.has_value()) << client.error();
  auto const ok = client->get(url("/ok"));
  ASSERT_TRUE(ok.has_value()) << ok.error();
  EXPECT_EQ(ok->status, 200);
  EXPECT_EQ(ok->body, R"({"answer": 42})");

  auto const missing = client->get(url("/status/404"));
  ASSERT_TRUE(missing.has_value()) << missing.error();
  EXPECT_EQ(missing->status, 404);
  EXPECT_EQ(missing->body, "");

  auto const again = client->get(url("/hop"));
  ASSERT_TRUE(again.has_value()) << again.error();
  EXPECT_EQ(again->status, 200);
  EXPECT_EQ(again->body, R"({"answer": 42})");
}

TEST_F(HttpServed, ConcurrentQueriesShareNothing) {
  std::vector<std::thread> threads;
  std::vector<int> answers(8, 0);
  for (std::size_t i = 0; i < answers.size(); ++i) {
    threads.emplace_back([this, i, &answers] {
      auto const v = fetch_json(url(i % 2 == 0 ? "/ok" : "/hop"));
      answers[i] = v.has_value() ? (*v)["answer"].get<int>() : -1;
    });
  }
  for (auto& t : threads) {
    t.join();
  }
  EXPECT_EQ(answers, std::vector<int>(8, 42));
}

TEST(HttpTimeout, ServerThatNeverAnswersTimesOut) {
  test::SilentListener silent;
  auto const v = fetch_json(silent.base_url() + "/search", 150ms);
  ASSERT_FALSE(v.has_value());
  EXPECT_EQ(v.error(), SERVICE_TIMED_OUT);
}

TEST(HttpTransport, RefusedConnectionAndBadUrlAreErrors) {
  int port = 0;
  {
    test::SilentListener closed; // a port that was free a moment ago and is closed again
    port = std::stoi(closed.base_url().substr(closed.base_url().rfind(':') + 1));
  }
  auto const refused = fetch_json("http://127.0.0.1:" + std::to_string(port) + "/x", 2s);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error(), SERVICE_UNREACHABLE);

  auto const bad = fetch_json("ftp://127.0.0.1/x", 2s);
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error(), REQUEST_FAILED);
}

} // namespace
} // namespace maps
