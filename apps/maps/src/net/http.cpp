#include "net/http.h"

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>

#include <curl/curl.h>
#include <fmt/format.h>

#include "model/json_reader.h"
#include "net/curl_transfer.h"
#include "net/json_read.h"
#include "net/net_log.h"
#include "net/service_pause.h"

namespace maps {

namespace {

struct ReasonPhrase {
  std::uint16_t code;
  char const* text;
};

// The registered reason phrases (RFC 9110 and its companions).
constexpr ReasonPhrase REASON_PHRASES[] = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {102, "Processing"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {207, "Multi-Status"},
    {208, "Already Reported"},
    {226, "IM Used"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Payload Too Large"},
    {414, "URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {418, "I'm a teapot"},
    {421, "Misdirected Request"},
    {422, "Unprocessable Entity"},
    {423, "Locked"},
    {424, "Failed Dependency"},
    {426, "Upgrade Required"},
    {428, "Precondition Required"},
    {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"},
    {451, "Unavailable For Legal Reasons"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
    {506, "Variant Also Negotiates"},
    {507, "Insufficient Storage"},
    {508, "Loop Detected"},
    {510, "Not Extended"},
    {511, "Network Authentication Required"},
    {425, "Too Early"},
    {103, "Early Hints"},
};

char const* failure_text(TransportFailure kind) {
  switch (kind) {
  case TransportFailure::TimedOut:
    return SERVICE_TIMED_OUT;
  case TransportFailure::Unreachable:
    return SERVICE_UNREACHABLE;
  case TransportFailure::NotSecure:
    return SERVICE_NOT_SECURE;
  case TransportFailure::TooLarge:
    return ANSWER_TOO_LARGE;
  case TransportFailure::TooManyRedirects:
    return TOO_MANY_REDIRECTS;
  case TransportFailure::None:
  case TransportFailure::Other:
    break;
  }
  return REQUEST_FAILED;
}

} // namespace

void ensure_crypto_provider() {
  static std::once_flag once;
  // curl_global_init sets up OpenSSL for the whole process; it is never undone because
  // detached request threads may still be running when main returns.
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string url_encode(std::string_view value) {
  static constexpr char HEX[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (char const ch : value) {
    auto const b = static_cast<unsigned char>(ch);
    bool const keep = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                      b == '-' || b == '.' || b == '_' || b == '~';
    if (keep) {
      out.push_back(ch);
    } else if (b == ' ') {
      out += "%20";
    } else {
      out.push_back('%');
      out.push_back(HEX[b >> 4]);
      out.push_back(HEX[b & 0x0F]);
    }
  }
  return out;
}

std::string status_display(std::uint16_t status) {
  for (auto const& r : REASON_PHRASES) {
    if (r.code == status) {
      return fmt::format("{} {}", status, r.text);
    }
  }
  return fmt::format("{} <unknown status code>", status);
}

struct HttpClient::Impl {
  struct CurlDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
  };

  std::unique_ptr<CURL, CurlDeleter> handle;
  detail::CurlTransfer transfer;
  TransportFailure last_failure = TransportFailure::None;
};

HttpClient::HttpClient(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
HttpClient::HttpClient(HttpClient&&) noexcept = default;
HttpClient& HttpClient::operator=(HttpClient&&) noexcept = default;
HttpClient::~HttpClient() = default;

base::Result<HttpClient> HttpClient::build(std::chrono::milliseconds timeout, std::size_t max_body,
                                           std::size_t max_error_body) {
  ensure_crypto_provider();
  auto impl = std::make_unique<Impl>();
  impl->handle.reset(curl_easy_init());
  if (!impl->handle) {
    return base::fail("failed to create an HTTP client");
  }
  impl->transfer.max_body = max_body;
  impl->transfer.max_error_body = max_error_body;
  CURLcode const rc = detail::configure_transfer(impl->handle.get(), timeout, impl->transfer);
  if (rc != CURLE_OK) {
    return base::fail(curl_easy_strerror(rc));
  }
  return HttpClient(std::move(impl));
}

base::Result<HttpResponse> HttpClient::get(std::string const& url) {
  CURL* h = impl_->handle.get();
  impl_->transfer.reset();
  CURLcode const rc_url = curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  if (rc_url != CURLE_OK) {
    return base::fail(curl_easy_strerror(rc_url));
  }
  CURLcode const rc = curl_easy_perform(h);
  return detail::transfer_outcome(h, rc, impl_->transfer, impl_->last_failure);
}

TransportFailure HttpClient::last_failure() const {
  return impl_->last_failure;
}

namespace {

enum class ErrorBody { Explain, Return };

// The explanation of a refused query: the "message" of a JSON object body, else its "code"
// (string members only); nothing for any other body.
std::optional<std::string> service_refusal(std::string_view body) {
  if (body.empty()) {
    return std::nullopt;
  }
  JsonReader r(body, detail::ANSWER_READING);
  std::optional<std::string> message;
  std::optional<std::string> code;
  try {
    if (r.peek() != JsonReader::Kind::Object) {
      return std::nullopt;
    }
    detail::read_object(r, [&](std::string_view key) {
      if (key == "message") {
        message = detail::read_text(r, MAX_ERROR_BODY_BYTES);
      } else if (key == "code") {
        code = detail::read_text(r, MAX_ERROR_BODY_BYTES);
      } else {
        r.skip_value();
      }
    });
    r.finish();
  } catch (JsonError const&) {
    return std::nullopt;
  }
  return message ? message : code;
}

base::Result<std::string> fetch(std::string const& url, std::chrono::milliseconds timeout,
                                std::size_t max_body, ErrorBody error_body) {
  ensure_crypto_provider();
  // A service that asked for a pause is not asked again before its end.
  if (auto const pause = service_paused(url)) {
    return base::fail(service_busy_text(*pause));
  }
  // A new client per query: no connection, cookie or cache outlives the call.
  auto client = HttpClient::build(timeout, max_body, MAX_ERROR_BODY_BYTES);
  if (!client) {
    net_logger()->warn("HTTP client for {} failed to build: {}", url_origin(url), client.error());
    return base::fail(REQUEST_FAILED);
  }
  auto response = client->get(url);
  if (!response) {
    net_logger()->warn("query to {} failed: {}", url_origin(url), response.error());
    return base::fail(failure_text(client->last_failure()));
  }
  if (asks_for_pause(response->status) && response->retry_after.count() > 0) {
    ServicePause const pause = pause_service(url, response->retry_after);
    net_logger()->warn("{} answered {} and asked for a pause of {} s", url_origin(url),
                       response->status, response->retry_after.count());
    return base::fail(service_busy_text(pause));
  }
  if (!detail::is_success(response->status)) {
    if (auto refusal = service_refusal(response->body)) {
      if (error_body == ErrorBody::Return) {
        return std::move(response->body);
      }
      return base::fail(std::move(*refusal));
    }
    return base::fail(fmt::format("HTTP {}", status_display(response->status)));
  }
  return std::move(response->body);
}

} // namespace

base::Result<std::string> fetch_json(std::string const& url, std::chrono::milliseconds timeout,
                                     std::size_t max_body) {
  return fetch(url, timeout, max_body, ErrorBody::Explain);
}

base::Result<std::string> fetch_json_or_refusal(std::string const& url,
                                                std::chrono::milliseconds timeout) {
  return fetch(url, timeout, MAX_BODY_BYTES, ErrorBody::Return);
}

base::Result<std::string> fetch_json_or_refusal(std::string const& url) {
  return fetch_json_or_refusal(
      url, std::chrono::duration_cast<std::chrono::milliseconds>(QUERY_TIMEOUT));
}

base::Result<std::string> fetch_json(std::string const& url) {
  return fetch_json(url, std::chrono::duration_cast<std::chrono::milliseconds>(QUERY_TIMEOUT));
}

} // namespace maps
