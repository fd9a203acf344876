#pragma once
// Concurrent GETs on one thread over libcurl's multi interface: the transfers run side by side
// and share one connection cache, so a slow or hanging one holds up only itself. Used by the
// tile worker; the options, limits and outcomes are those of HttpClient.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/result.h"
#include "net/http.h"

namespace maps {

/// Ends an HttpMulti's wait in `poll` early, from any thread: new work has arrived. A wake
/// before the client exists is kept for its first wait; after the client is gone it does
/// nothing.
class HttpWaker {
public:
  void wake();

private:
  friend class HttpMulti;
  void attach(void* multi);
  void detach();

  std::mutex mutex_;
  void* multi_ = nullptr; // the client's multi handle while it exists
  bool woken_ = false;
};

class HttpMulti {
public:
  /// One ended transfer: the tag it was started with and its response or error text.
  struct Done {
    std::uint64_t tag = 0;
    base::Result<HttpResponse> response;
  };

  /// `timeout` bounds each whole transfer and `max_body` each body (a failed status's body is
  /// not read); `waker`, when given, can end a wait in `poll`.
  static base::Result<HttpMulti> build(std::chrono::milliseconds timeout, std::size_t max_body,
                                       std::shared_ptr<HttpWaker> waker = nullptr);

  /// Starts a GET of an absolute URL at once; false when the transfer cannot be set up.
  bool start(std::uint64_t tag, std::string const& url);
  /// Transfers started and not yet returned by `poll`.
  std::size_t running() const;
  /// Moves the transfers on, waiting at most `wait` for one of them (or a wake) when none has
  /// ended yet; returns those that ended.
  std::vector<Done> poll(std::chrono::milliseconds wait);

  HttpMulti(HttpMulti&&) noexcept;
  HttpMulti& operator=(HttpMulti&&) = delete;
  /// Abandons the transfers still running.
  ~HttpMulti();

private:
  struct Impl;
  explicit HttpMulti(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

} // namespace maps
