#pragma once
// Blocking HTTPS access on libcurl: one-shot JSON queries for the map services (a fresh handle
// per query, nothing kept between queries) and a reusable client for the tile worker, plus the
// percent-encoding of query values. Nothing here retries, logs or touches the UI.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"
#include "net/contact.h"

namespace maps {

/// User-Agent of every request of the program (service queries and tile downloads); the
/// contact URL is set at build time (MAPS_CONTACT_URL).
inline constexpr char const USER_AGENT[] = "Zarn-Maps/0.1 (" MAPS_CONTACT_URL "; native maps app)";

/// Total time-out of one service query: connection, request and body.
inline constexpr std::chrono::seconds QUERY_TIMEOUT{12};

/// Largest body accepted; a longer answer is refused instead of being held in memory.
inline constexpr std::size_t MAX_BODY_BYTES = std::size_t{32} * 1024 * 1024;

/// Largest body of a failed status that is read (a service's explanation of a refusal).
inline constexpr std::size_t MAX_ERROR_BODY_BYTES = std::size_t{64} * 1024;

/// Redirects followed before a request fails.
inline constexpr long MAX_REDIRECTS = 10;

/// Failure texts of the service queries, in the user's words (the detail goes to the log).
inline constexpr char const ANSWER_UNREADABLE[] =
    "the service sent an answer that could not be read";
inline constexpr char const ANSWER_TOO_LARGE[] = "the service sent an answer that is too large";
inline constexpr char const SERVICE_TIMED_OUT[] = "the service did not answer in time";
inline constexpr char const SERVICE_UNREACHABLE[] = "the service could not be reached";
inline constexpr char const SERVICE_NOT_SECURE[] =
    "a secure connection to the service could not be made";
inline constexpr char const TOO_MANY_REDIRECTS[] = "the service redirected the request too often";
inline constexpr char const REQUEST_FAILED[] = "the request to the service failed";

/// Kinds of transport failure, for the text a user reads.
enum class TransportFailure {
  None,
  TimedOut,
  Unreachable,
  NotSecure,
  TooLarge,
  TooManyRedirects,
  Other
};

/// Process-wide TLS and transfer-library set-up, run exactly once; later and concurrent calls
/// wait for the first to finish and then return. Never undone: detached request threads may
/// outlive main.
void ensure_crypto_provider();

/// Percent-encoding of one query value, byte by byte: unreserved bytes stay, a space becomes
/// "%20" (never "+"), every other byte "%XX" with upper-case hexadecimal digits.
std::string url_encode(std::string_view value);

/// A status code with its standard reason phrase: "404 Not Found". Codes without a standard
/// phrase read "599 <unknown status code>".
std::string status_display(std::uint16_t status);

struct HttpResponse {
  std::uint16_t status = 0;
  // For a status outside 200 to 299 only up to the client's error-body limit; empty when
  // longer or without that limit.
  std::string body;
  /// The answer's Retry-After (0 without one), at most MAX_SERVICE_PAUSE.
  std::chrono::seconds retry_after{0};
};

/// A blocking HTTP client that keeps its connection cache between requests (the tile worker
/// holds one for its whole life). Redirects are followed (at most MAX_REDIRECTS), TLS peers
/// are verified, and a body longer than the limit fails the request. Not for concurrent use.
class HttpClient {
public:
  /// `timeout` bounds each whole request; `max_body` bounds each body in bytes;
  /// `max_error_body` the body read of a failed status (0: not read).
  static base::Result<HttpClient> build(std::chrono::milliseconds timeout,
                                        std::size_t max_body = MAX_BODY_BYTES,
                                        std::size_t max_error_body = 0);

  /// GET of an absolute URL. A transport failure (name resolution, connection, TLS, time-out,
  /// too many redirects, body over the limit) is an error text; any HTTP status is a response.
  base::Result<HttpResponse> get(std::string const& url);

  /// What kind of transport failure the last `get` ended in (None after a response).
  TransportFailure last_failure() const;

  HttpClient(HttpClient&&) noexcept;
  HttpClient& operator=(HttpClient&&) noexcept;
  ~HttpClient();

private:
  struct Impl;
  explicit HttpClient(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

/// One blocking GET of `url` (complete, already percent-encoded) with QUERY_TIMEOUT; the body
/// of a 2xx answer is returned as it came, for the service's parser to read (which reports
/// text that is no JSON as ANSWER_UNREADABLE). A 429 or 503 with Retry-After pauses the
/// service (`service_pause.h`); while it is paused nothing is sent and the error says until
/// when. Other errors: a transport failure in words (SERVICE_TIMED_OUT and its siblings); for
/// a status outside 200 to 299 the "message" (else "code") of a JSON object body, otherwise
/// "HTTP 404 Not Found". The technical detail of transport failures goes to `net_logger`.
base::Result<std::string> fetch_json(std::string const& url);

/// The same with an injected time-out and body limit.
base::Result<std::string> fetch_json(std::string const& url, std::chrono::milliseconds timeout,
                                     std::size_t max_body = MAX_BODY_BYTES);

/// As `fetch_json`, but a failed status whose body is a JSON object with a string "code" or
/// "message" returns that body, for services that explain refusals in their answer format.
base::Result<std::string> fetch_json_or_refusal(std::string const& url);
base::Result<std::string> fetch_json_or_refusal(std::string const& url,
                                                std::chrono::milliseconds timeout);

} // namespace maps
