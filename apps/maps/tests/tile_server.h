#pragma once
// A raster tile server on 127.0.0.1 for the tile tests: every tile is a small PNG of the style's
// size unless an answer is set for its path; the light style can be held back until released.

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "local_server.h"
#include "png_test_support.h"
#include "tiles/tile_worker.h"

namespace maps::test {

/// The PNG the server sends for a tile: its colour tells the style and the key apart.
inline std::string tile_png(bool dark, TileKey key) {
  return test::solid_tile_png(STANDARD_TILE_PX, dark ? 20 : 230, static_cast<std::uint8_t>(key.x),
                              static_cast<std::uint8_t>(key.y));
}

/// A tile server: every tile is a PNG unless an answer is set for its path; the light style
/// can be held back until released.
class TileHttp {
public:
  struct Answer {
    int status;
    std::string body;
  };

  TileHttp() {
    local_.server().Get(
        R"(/(light|dark)_nolabels/(\d+)/(\d+)/(\d+)\.png)",
        [this](httplib::Request const& req, httplib::Response& res) { serve(req, res); });
    local_.start();
  }
  ~TileHttp() {
    release_light();
    release_path();
  }

  TileServer server() const { return tile_server(local_.base_url()); }

  void answer(std::string const& path, int status, std::string body) {
    std::lock_guard lock(mutex_);
    answers_[path] = Answer{status, std::move(body)};
  }
  /// Every tile without an answer of its own gets this one.
  void answer_all(int status, std::string body) {
    std::lock_guard lock(mutex_);
    fallback_ = Answer{status, std::move(body)};
  }
  /// A header sent with every answer set by `answer` or `answer_all`.
  void answer_header(std::string name, std::string value) {
    std::lock_guard lock(mutex_);
    headers_[std::move(name)] = std::move(value);
  }
  /// Back to serving every tile.
  void forget_answers() {
    std::lock_guard lock(mutex_);
    answers_.clear();
    fallback_.reset();
    headers_.clear();
  }
  int hits(std::string const& path) {
    std::lock_guard lock(mutex_);
    return hits_[path];
  }
  int light_hits() {
    std::lock_guard lock(mutex_);
    return light_hits_;
  }
  void hold_light() {
    std::lock_guard lock(mutex_);
    light_held_ = true;
  }
  void release_light() {
    {
      std::lock_guard lock(mutex_);
      light_held_ = false;
    }
    released_.notify_all();
  }
  /// Requests for this path hang until `release_path` (or the server's end).
  void hold_path(std::string path) {
    std::lock_guard lock(mutex_);
    held_path_ = std::move(path);
  }
  void release_path() {
    {
      std::lock_guard lock(mutex_);
      held_path_.clear();
    }
    released_.notify_all();
  }

private:
  void serve(httplib::Request const& req, httplib::Response& res) {
    bool const dark = req.matches[1] == "dark";
    TileKey const key{static_cast<std::uint32_t>(std::stoul(req.matches[3])),
                      static_cast<std::uint32_t>(std::stoul(req.matches[4])),
                      static_cast<std::uint8_t>(std::stoul(req.matches[2]))};
    std::unique_lock lock(mutex_);
    ++hits_[req.path];
    if (!dark) {
      ++light_hits_;
      released_.wait(lock, [&] { return !light_held_; });
    }
    released_.wait(lock, [&] { return held_path_ != req.path; });
    if (answers_.contains(req.path) || fallback_) {
      for (auto const& [name, value] : headers_) {
        res.set_header(name, value);
      }
    }
    if (auto it = answers_.find(req.path); it != answers_.end()) {
      res.status = it->second.status;
      res.set_content(it->second.body, "image/png");
      return;
    }
    if (fallback_) {
      res.status = fallback_->status;
      res.set_content(fallback_->body, "image/png");
      return;
    }
    res.set_content(tile_png(dark, key), "image/png");
  }

  std::mutex mutex_;
  std::condition_variable released_;
  std::map<std::string, Answer> answers_;
  std::optional<Answer> fallback_;
  std::map<std::string, std::string> headers_;
  std::map<std::string, int> hits_;
  int light_hits_ = 0;
  bool light_held_ = false;
  std::string held_path_;
  // Last: stopped, its handler threads joined, before the state they read goes away (a detached
  // tile worker of a finished test may still be asking).
  test::LocalServer local_;
};

} // namespace maps::test
