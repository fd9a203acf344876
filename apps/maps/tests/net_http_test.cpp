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
#include "net/json_read.h"
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

// What a service parser makes of an answer text: the decoded strings it read, or the error.
base::Result<std::vector<std::string>> strings_of(std::string_view text) {
  return detail::read_answer("test", text,
                             [](JsonReader& r) -> base::Result<std::vector<std::string>> {
                               std::vector<std::string> out;
                               if (!detail::read_array(r, [&](std::size_t) {
                                     if (auto s = detail::read_text(r)) {
                                       out.push_back(std::move(*s));
                                     } else {
                                       out.push_back("-");
                                     }
                                   })) {
                                 return base::fail("not an array");
                               }
                               return out;
                             });
}

// Bad bytes in strings read as U+FFFD and huge numbers cost nothing where nobody reads them;
// broken syntax anywhere, and nesting beyond the limit, make the whole answer unreadable.
TEST(AnswerReading, RepairsBadBytesAndRefusesBrokenText) {
  using Strings = std::vector<std::string>;
  std::string const deep_ok = std::string(511, '[') + "\"a\"" + std::string(511, ']');
  std::string const too_deep = std::string(513, '[') + std::string(513, ']');
  struct Case {
    std::string in;
    std::optional<Strings> out; // nothing: unreadable
  } const cases[] = {
      {R"(["a",1,-2.5e3,1e-400,1e400,-1E+400])", Strings{"a", "-", "-", "-", "-", "-"}},
      {"[\"\xFC\"]", Strings{"\xEF\xBF\xBD"}},
      {"[\"\xE2\x82\"]", Strings{"\xEF\xBF\xBD\xEF\xBF\xBD"}},                 // a cut-off sequence
      {"[\"\xED\xA0\x80\"]", Strings{"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}}, // a surrogate
      {"[{\"k\xFC\":1e999},\"M\xC3\xBCnchen\"]", Strings{"-", "M\xC3\xBCnchen"}},
      {R"(["\u00fc\ud83d\ude00"])", Strings{"\xC3\xBC\xF0\x9F\x98\x80"}},
      {deep_ok, Strings{"-"}},
      {"", std::nullopt},
      {R"({"elements": [1, 2)", std::nullopt},
      {R"([1] x)", std::nullopt},
      {R"(["\ud800"])", std::nullopt},
      {"[\"a\x01\"]", std::nullopt},
      {"[\"\\\xFC\"]", std::nullopt}, // an escape of a bad byte
      {too_deep, std::nullopt},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.in.substr(0, 40));
    auto const r = strings_of(c.in);
    if (c.out) {
      ASSERT_TRUE(r.has_value()) << r.error();
      EXPECT_EQ(*r, *c.out);
    } else {
      ASSERT_FALSE(r.has_value());
      EXPECT_EQ(r.error(), ANSWER_UNREADABLE);
    }
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
  std::string user_agent; // guarded by mutex
  test::LocalServer srv;  // last: stopped before the state its handlers touch goes away
};

TEST_F(HttpServed, ReturnsTheBodyAndSendsTheUserAgent) {
  auto const v = fetch_json(url("/ok"));
  ASSERT_TRUE(v.has_value()) << v.error();
  EXPECT_EQ(*v, R"({"answer": 42})");
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
  EXPECT_EQ(*hop, R"({"answer": 42})");

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

TEST_F(HttpServed, EmptyOrBrokenBodiesFailInWordsWithTheReaderTextInTheLog) {
  auto const sink = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(8);
  net_logger()->sinks().push_back(sink);
  for (char const* path : {"/status/204", "/empty", "/malformed", "/deep"}) {
    SCOPED_TRACE(path);
    auto const v = fetch_json(url(path));
    ASSERT_TRUE(v.has_value()) << v.error();
    auto const r = strings_of(*v);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), ANSWER_UNREADABLE);
  }
  net_logger()->sinks().pop_back();
  auto const lines = sink->last_formatted();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_THAT(lines[0], HasSubstr("test answer could not be read: EOF while parsing a value"));
  EXPECT_THAT(lines[2], HasSubstr("EOF while parsing a list at line 1 column 18"));
  EXPECT_THAT(lines[3], HasSubstr("recursion limit exceeded"));
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
  std::vector<std::string> answers(8);
  for (std::size_t i = 0; i < answers.size(); ++i) {
    threads.emplace_back([this, i, &answers] {
      auto const v = fetch_json(url(i % 2 == 0 ? "/ok" : "/hop"));
      answers[i] = v.value_or("failed");
    });
  }
  for (auto& t : threads) {
    t.join();
  }
  EXPECT_EQ(answers, std::vector<std::string>(8, R"({"answer": 42})"));
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
