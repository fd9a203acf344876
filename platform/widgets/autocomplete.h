#pragma once
// Autocomplete: a text field with a list of suggestions that opens below it.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn_ui::widget {

struct Suggestion {
  std::string label;
  std::string value;
  std::optional<std::string> detail;
  std::optional<int> kind;
  bool operator==(Suggestion const&) const = default;
};

/// label = value = text, no detail, kind unset.
inline Suggestion suggestion_new(std::string text) {
  Suggestion s;
  s.label = text;
  s.value = std::move(text);
  return s;
}
inline Suggestion suggestion_with_detail(Suggestion s, std::string detail) {
  s.detail = std::move(detail);
  return s;
}

class Autocomplete {
 public:
  Autocomplete() = default;
  Autocomplete with_id(std::string_view id) && {
    id_ = id;
    return std::move(*this);
  }
  Autocomplete with_placeholder(std::string_view text) && {
    placeholder_ = text;
    return std::move(*this);
  }
  Autocomplete with_size(float size) && {
    size_ = size;
    return std::move(*this);
  }

  std::string const& id() const { return id_; }
  std::string const& placeholder() const { return placeholder_; }
  float size() const { return size_; }

  void begin_edit() { editing_ = true; }
  bool editing() const { return editing_; }
  void set_text(std::string_view text) { text_ = text; }
  std::string const& text() const { return text_; }

  void set_suggestions(std::vector<Suggestion> suggestions) { suggestions_ = std::move(suggestions); }
  /// Replaces the suggestions and shows the list open.
  void set_suggestions_open(std::vector<Suggestion> suggestions) {
    suggestions_ = std::move(suggestions);
    open_ = true;
  }
  std::vector<Suggestion> const& suggestions() const { return suggestions_; }
  bool is_open() const { return open_; }

  /// Closes the list and ends editing.
  void close() {
    open_ = false;
    editing_ = false;
  }

 private:
  std::string id_;
  std::string placeholder_;
  std::string text_;
  std::vector<Suggestion> suggestions_;
  float size_ = 14.0f;
  bool editing_ = false;
  bool open_ = false;
};

}  // namespace zarn_ui::widget
