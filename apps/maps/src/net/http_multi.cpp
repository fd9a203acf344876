#include "net/http_multi.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <utility>

#include <curl/curl.h>

#include "net/curl_transfer.h"

namespace maps {

void HttpWaker::wake() {
  std::lock_guard lock(mutex_);
  if (multi_ != nullptr) {
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
  } else {
    woken_ = true;
  }
}

void HttpWaker::attach(void* multi) {
  std::lock_guard lock(mutex_);
  multi_ = multi;
  if (std::exchange(woken_, false)) {
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
  }
}

void HttpWaker::detach() {
  std::lock_guard lock(mutex_);
  multi_ = nullptr;
}

struct HttpMulti::Impl {
  struct Running {
    std::uint64_t tag = 0;
    detail::CurlTransfer transfer; // reached by libcurl's callbacks: never moves
  };

  CURLM* multi = nullptr;
  std::chrono::milliseconds timeout{};
  std::size_t max_body = 0;
  std::shared_ptr<HttpWaker> waker;
  std::unordered_map<CURL*, std::unique_ptr<Running>> running;

  void drop(CURL* h) {
    curl_multi_remove_handle(multi, h);
    curl_easy_cleanup(h);
    running.erase(h);
  }

  void collect(std::vector<Done>& done) {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg != CURLMSG_DONE) {
        continue;
      }
      CURL* h = msg->easy_handle;
      auto it = running.find(h);
      if (it == running.end()) {
        continue;
      }
      TransportFailure failure = TransportFailure::None;
      Done d{it->second->tag,
             detail::transfer_outcome(h, msg->data.result, it->second->transfer, failure)};
      drop(h);
      done.push_back(std::move(d));
    }
  }

  ~Impl() {
    while (!running.empty()) {
      drop(running.begin()->first);
    }
    if (multi != nullptr) {
      curl_multi_cleanup(multi);
    }
  }
};

HttpMulti::HttpMulti(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
HttpMulti::HttpMulti(HttpMulti&&) noexcept = default;
HttpMulti::~HttpMulti() {
  // Before the multi handle goes: a wake from another thread must not reach it any more.
  if (impl_ && impl_->waker) {
    impl_->waker->detach();
  }
}

base::Result<HttpMulti> HttpMulti::build(std::chrono::milliseconds timeout, std::size_t max_body,
                                         std::shared_ptr<HttpWaker> waker) {
  ensure_crypto_provider();
  auto impl = std::make_unique<Impl>();
  impl->multi = curl_multi_init();
  if (impl->multi == nullptr) {
    return base::fail("failed to create an HTTP client");
  }
  impl->timeout = timeout;
  impl->max_body = max_body;
  if (waker) {
    waker->attach(impl->multi);
  }
  impl->waker = std::move(waker);
  return HttpMulti(std::move(impl));
}

bool HttpMulti::start(std::uint64_t tag, std::string const& url) {
  CURL* h = curl_easy_init();
  if (h == nullptr) {
    return false;
  }
  auto run = std::make_unique<Impl::Running>();
  run->tag = tag;
  run->transfer.max_body = impl_->max_body;
  if (detail::configure_transfer(h, impl_->timeout, run->transfer) != CURLE_OK ||
      curl_easy_setopt(h, CURLOPT_URL, url.c_str()) != CURLE_OK ||
      curl_multi_add_handle(impl_->multi, h) != CURLM_OK) {
    curl_easy_cleanup(h);
    return false;
  }
  impl_->running.emplace(h, std::move(run));
  return true;
}

std::size_t HttpMulti::running() const {
  return impl_->running.size();
}

std::vector<HttpMulti::Done> HttpMulti::poll(std::chrono::milliseconds wait) {
  std::vector<Done> done;
  int still = 0;
  curl_multi_perform(impl_->multi, &still);
  impl_->collect(done);
  if (!done.empty()) {
    return done;
  }
  int const wait_ms = static_cast<int>(
      std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, std::numeric_limits<int>::max()));
  curl_multi_poll(impl_->multi, nullptr, 0, wait_ms, nullptr);
  curl_multi_perform(impl_->multi, &still);
  impl_->collect(done);
  return done;
}

} // namespace maps
