#pragma once
// TextInput: one line of editable text with a placeholder, keyboard focus and a dirty flag that
// tells whether the text was edited since the owner last asked.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zarn_ui::widget {

class TextInput {
 public:
  /// An input owned by the application (not bound to a document text).
  static TextInput local() { return TextInput{}; }
  /// The platform's input kind (2: a search field) and its font size.
  TextInput with_kind(int kind, std::optional<float> size = std::nullopt) && {
    kind_ = kind;
    size_ = size;
    return std::move(*this);
  }

  void set_placeholder(std::string_view text) { placeholder_ = text; }
  std::string const& placeholder() const { return placeholder_; }

  /// Replaces the text without marking it edited; the caret goes to the end.
  void set_text(std::string_view text) { text_ = text; }
  std::string const& text() const { return text_; }

  void set_focused(bool focused) { focused_ = focused; }
  bool focused() const { return focused_; }

  /// Whether the user edited the text since the last call.
  bool take_dirty() { return std::exchange(dirty_, false); }

  int kind() const { return kind_; }
  std::optional<float> size() const { return size_; }

 protected:
  void mark_dirty() { dirty_ = true; }
  std::string text_;

 private:
  std::string placeholder_;
  std::optional<float> size_;
  int kind_ = 0;
  bool focused_ = false;
  bool dirty_ = false;
};

}  // namespace zarn_ui::widget
