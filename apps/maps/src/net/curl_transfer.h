#pragma once
// What the blocking client and the concurrent client share about one libcurl transfer: the
// options every request of the program carries, the body collection with its limits, and how
// a finished transfer becomes a response or an error. Internal to the HTTP modules.

#include <array>
#include <chrono>
#include <cstddef>
#include <string>

#include <curl/curl.h>

#include "base/result.h"
#include "net/http.h"

namespace maps::detail {

/// State of one transfer, reached from libcurl's write callback; it must not move while the
/// transfer runs.
struct CurlTransfer {
  CURL* handle = nullptr;
  std::size_t max_body = 0;
  std::size_t max_error_body = 0;
  std::string body;
  bool too_large = false;
  bool skipped_body = false;
  std::array<char, CURL_ERROR_SIZE> error{};

  /// Ready for the next request on the same handle.
  void reset();
};

/// Sets on `h` the options of every request (User-Agent, time-out, redirects, protocols, TLS
/// verification) and points its write callback and error buffer at `t`.
CURLcode configure_transfer(CURL* h, std::chrono::milliseconds timeout, CurlTransfer& t);

/// The response of a transfer that ended with `rc`, or its error text; `failure` tells what
/// kind of transport failure it was (None for a response).
base::Result<HttpResponse> transfer_outcome(CURL* h, CURLcode rc, CurlTransfer& t,
                                            TransportFailure& failure);

bool is_success(std::uint16_t status);

} // namespace maps::detail
