#include "net/curl_transfer.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <fmt/format.h>

#include "net/service_pause.h"

namespace maps::detail {

namespace {

std::uint16_t to_status(long code) {
  return static_cast<std::uint16_t>(
      std::clamp<long>(code, 0, std::numeric_limits<std::uint16_t>::max()));
}

std::string body_limit_error(std::size_t max_body) {
  return fmt::format("response body exceeds the limit of {} bytes", max_body);
}

TransportFailure failure_kind(CURLcode rc) {
  switch (rc) {
  case CURLE_OPERATION_TIMEDOUT:
    return TransportFailure::TimedOut;
  case CURLE_COULDNT_RESOLVE_HOST:
  case CURLE_COULDNT_RESOLVE_PROXY:
  case CURLE_COULDNT_CONNECT:
  case CURLE_SEND_ERROR:
  case CURLE_RECV_ERROR:
  case CURLE_GOT_NOTHING:
    return TransportFailure::Unreachable;
  case CURLE_SSL_CONNECT_ERROR:
  case CURLE_PEER_FAILED_VERIFICATION:
  case CURLE_SSL_CERTPROBLEM:
  case CURLE_SSL_CACERT_BADFILE:
    return TransportFailure::NotSecure;
  case CURLE_FILESIZE_EXCEEDED:
    return TransportFailure::TooLarge;
  case CURLE_TOO_MANY_REDIRECTS:
    return TransportFailure::TooManyRedirects;
  default:
    return TransportFailure::Other;
  }
}

std::size_t on_data(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<CurlTransfer*>(user);
  std::size_t const n = size * count;
  long code = 0;
  curl_easy_getinfo(t.handle, CURLINFO_RESPONSE_CODE, &code);
  if (!is_success(to_status(code))) {
    // A failed status's body is read only up to its own small limit (services explain
    // their refusals there); past it, or without a limit, stopping ends the transfer.
    if (n > t.max_error_body - std::min(t.max_error_body, t.body.size())) {
      t.body.clear();
      t.skipped_body = true;
      return 0;
    }
    t.body.append(data, n);
    return n;
  }
  if (t.body.empty()) {
    // A declared length over the limit is refused before anything is stored.
    curl_off_t declared = -1;
    curl_easy_getinfo(t.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
    if (declared > 0 && static_cast<std::uint64_t>(declared) > t.max_body) {
      t.too_large = true;
      return 0;
    }
  }
  if (n > t.max_body - t.body.size()) {
    t.too_large = true;
    return 0;
  }
  t.body.append(data, n);
  return n;
}

} // namespace

bool is_success(std::uint16_t status) {
  return status >= 200 && status <= 299;
}

void CurlTransfer::reset() {
  body.clear();
  too_large = false;
  skipped_body = false;
  error[0] = '\0';
}

CURLcode configure_transfer(CURL* h, std::chrono::milliseconds timeout, CurlTransfer& t) {
  t.handle = h;
  long const timeout_ms = static_cast<long>(std::max<std::chrono::milliseconds::rep>(
      1,
      std::min<std::chrono::milliseconds::rep>(timeout.count(), std::numeric_limits<long>::max())));
  CURLcode rc = CURLE_OK;
  auto set = [&](CURLoption opt, auto value) {
    if (rc == CURLE_OK) {
      rc = curl_easy_setopt(h, opt, value);
    }
  };
  set(CURLOPT_USERAGENT, USER_AGENT);
  set(CURLOPT_TIMEOUT_MS, timeout_ms);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, MAX_REDIRECTS);
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  set(CURLOPT_WRITEFUNCTION, &on_data);
  set(CURLOPT_WRITEDATA, &t);
  set(CURLOPT_ERRORBUFFER, t.error.data());
  return rc;
}

base::Result<HttpResponse> transfer_outcome(CURL* h, CURLcode rc, CurlTransfer& t,
                                            TransportFailure& failure) {
  failure = TransportFailure::None;
  long code = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
  std::uint16_t const status = to_status(code);
  // libcurl reads both forms of Retry-After (seconds, or a date turned into seconds from now).
  curl_off_t retry_after = 0;
  if (curl_easy_getinfo(h, CURLINFO_RETRY_AFTER, &retry_after) != CURLE_OK || retry_after < 0) {
    retry_after = 0;
  }
  std::chrono::seconds const wait{
      std::min<curl_off_t>(retry_after, std::chrono::seconds(MAX_SERVICE_PAUSE).count())};
  if (t.too_large) {
    failure = TransportFailure::TooLarge;
    return base::fail(body_limit_error(t.max_body));
  }
  if (rc == CURLE_WRITE_ERROR && t.skipped_body) {
    return HttpResponse{status, {}, wait};
  }
  if (rc != CURLE_OK) {
    failure = failure_kind(rc);
    if (t.error[0] != '\0') {
      return base::fail(std::string(t.error.data()));
    }
    return base::fail(curl_easy_strerror(rc));
  }
  return HttpResponse{status, std::move(t.body), wait};
}

} // namespace maps::detail
