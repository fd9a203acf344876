#include "endpoint_editor/endpoint_editor.h"

#include <algorithm>

#include "base/utf8.h"
#include "model/limits.h"
#include "platform/widgets/deliver.h"
#include "ui/suggestion_list.h"

namespace maps {

EndpointEditor new_endpoint_editor() {
  EndpointEditor editor;
  editor.origin_input = zarn_ui::widget::TextInput::local()
                            .with_kind(2, 13.0f)
                            .with_placeholder("Choose starting point")
                            .with_max_length(MAX_QUERY_CHARS)
                            .with_caret_blink(base::system_clock());
  editor.dest_input = zarn_ui::widget::TextInput::local()
                          .with_kind(2, 13.0f)
                          .with_placeholder("Choose destination")
                          .with_max_length(MAX_QUERY_CHARS)
                          .with_caret_blink(base::system_clock());
  return editor;
}

void reset_endpoint_editor(EndpointEditor& editor) {
  editor.active = NO_FIELD;
  editor.highlighted.reset();
  editor.origin_input.set_focused(false);
  editor.dest_input.set_focused(false);
  (void)editor.origin_input.take_dirty();
  (void)editor.dest_input.take_dirty();
}

void edit_endpoint(EndpointEditor& editor, std::uint8_t field) {
  bool const origin = field == ORIGIN_FIELD;
  editor.active = origin ? ORIGIN_FIELD : DEST_FIELD;
  editor.highlighted.reset();
  (origin ? editor.origin_text : editor.dest_text).clear();
  (origin ? editor.origin_suggestions : editor.dest_suggestions).clear();
  (origin ? editor.origin_answer : editor.dest_answer).reset();
  editor.origin_input.set_focused(origin);
  editor.dest_input.set_focused(!origin);
  (origin ? editor.origin_input : editor.dest_input).set_text("");
}

void sync_endpoint_texts(EndpointEditor& editor, std::string_view origin, std::string_view dest) {
  if (editor.origin_text != origin) {
    editor.origin_text = origin;
    if (editor.active == ORIGIN_FIELD) {
      editor.origin_input.set_text(origin);
    }
  }
  if (editor.dest_text != dest) {
    editor.dest_text = dest;
    if (editor.active == DEST_FIELD) {
      editor.dest_input.set_text(dest);
    }
  }
}

void set_endpoint_suggestions(EndpointEditor& editor, std::uint8_t field,
                              std::vector<Place> places) {
  (field == ORIGIN_FIELD ? editor.origin_suggestions : editor.dest_suggestions) = std::move(places);
  if (field == editor.active) {
    editor.highlighted.reset(); // a row of the old list means nothing in the new one
  }
}

void set_endpoint_answer(EndpointEditor& editor, std::uint8_t field,
                         std::optional<std::string> answer) {
  (field == ORIGIN_FIELD ? editor.origin_answer : editor.dest_answer) = std::move(answer);
}

EndpointEvent start_endpoint_edit(EndpointEditor& editor, std::uint8_t field) {
  bool const dest = field == DEST_FIELD;
  edit_endpoint(editor, dest ? DEST_FIELD : ORIGIN_FIELD);
  auto& input = dest ? editor.dest_input : editor.origin_input;
  input.set_focused(true);
  (void)input.take_dirty();
  return {EndpointEvent::Edited{std::string(), dest}};
}

std::optional<EndpointEvent> pick_endpoint_suggestion(EndpointEditor& editor, std::uint8_t field,
                                                      std::size_t index) {
  if (field != ORIGIN_FIELD && field != DEST_FIELD) {
    return std::nullopt;
  }
  bool const dest = field == DEST_FIELD;
  auto const& list = dest ? editor.dest_suggestions : editor.origin_suggestions;
  if (index >= list.size()) {
    return std::nullopt;
  }
  Place place = list[index];
  reset_endpoint_editor(editor);
  return EndpointEvent{EndpointEvent::Picked{std::move(place), dest}};
}

std::optional<std::vector<EndpointEvent>>
press_endpoint_editor(EndpointEditor& editor, zarn_ui::Point p, zarn_ui::Event const& event,
                      zarn_ui::Modifiers modifiers, double scale) {
  auto const hit = std::find_if(editor.hits.rbegin(), editor.hits.rend(),
                                [&](EndpointHit const& h) { return h.rect.contains(p); });
  if (hit == editor.hits.rend()) {
    return std::nullopt;
  }
  EndpointHit h = *hit;
  bool const needs_field =
      h.kind == EndpointHitKind::Field || h.kind == EndpointHitKind::Suggestion;
  if (needs_field && h.field != ORIGIN_FIELD && h.field != DEST_FIELD) {
    h.kind = EndpointHitKind::Inert; // belongs to neither field
  }
  bool const dest = h.field == DEST_FIELD;
  std::vector<EndpointEvent> events;
  switch (h.kind) {
  case EndpointHitKind::Field: {
    events.push_back(start_endpoint_edit(editor, h.field));
    auto& input = dest ? editor.dest_input : editor.origin_input;
    (void)zarn_ui::widget::deliver_text_input_event(input, event, modifiers, scale);
    input.set_focused(true);
    (void)input.take_dirty();
    break;
  }
  case EndpointHitKind::Suggestion:
    if (auto picked = pick_endpoint_suggestion(editor, h.field, h.index)) {
      events.push_back(std::move(*picked));
    }
    break;
  case EndpointHitKind::Swap:
    reset_endpoint_editor(editor);
    events.push_back({EndpointEvent::Swap{}});
    break;
  case EndpointHitKind::Inert:
    events.push_back({EndpointEvent::Idle{}});
    break;
  }
  return events;
}

std::vector<EndpointEvent> endpoint_editor_key(EndpointEditor& editor, zarn_ui::Event const& event,
                                               zarn_ui::Key const& key,
                                               zarn_ui::Modifiers modifiers, double scale,
                                               base::Instant now) {
  if (zarn_ui::is_named(key, zarn_ui::NamedKey::Escape)) {
    reset_endpoint_editor(editor);
    return {EndpointEvent{EndpointEvent::Idle{}}};
  }
  bool const dest = editor.active == DEST_FIELD;
  auto const& list = dest ? editor.dest_suggestions : editor.origin_suggestions;
  std::size_t const rows = std::min(list.size(), MAX_SUGGESTION_ROWS);
  if (rows > 0) {
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::ArrowDown)) {
      step_highlight(editor.highlighted, rows, 1);
      return {};
    }
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::ArrowUp)) {
      step_highlight(editor.highlighted, rows, -1);
      return {};
    }
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::Enter) && editor.highlighted &&
        *editor.highlighted < rows) {
      Place place = list[*editor.highlighted];
      reset_endpoint_editor(editor);
      return {EndpointEvent{EndpointEvent::Picked{std::move(place), dest}}};
    }
  }
  std::vector<EndpointEvent> events;
  auto& input = dest ? editor.dest_input : editor.origin_input;
  auto& synced = dest ? editor.dest_text : editor.origin_text;
  input.set_focused(true);
  auto const outcome = zarn_ui::widget::deliver_text_input_event(input, event, modifiers, scale);
  if (outcome == zarn_ui::widget::InputOutcome::Submitted) {
    editor.debounce.reset();
    events.push_back({EndpointEvent::Query{std::string(base::utf8::trim(synced)), dest}});
  }
  if (input.take_dirty()) {
    events.push_back(endpoint_text_changed(editor, dest ? DEST_FIELD : ORIGIN_FIELD, now));
  }
  return events;
}

EndpointEvent endpoint_text_changed(EndpointEditor& editor, std::uint8_t field, base::Instant now) {
  bool const dest = field == DEST_FIELD;
  auto& synced = dest ? editor.dest_text : editor.origin_text;
  synced = (dest ? editor.dest_input : editor.origin_input).text();
  if (base::utf8::trim(synced).empty()) {
    editor.debounce.reset();
  } else {
    editor.debounce = now + INPUT_DEBOUNCE;
  }
  return {EndpointEvent::Edited{synced, dest}};
}

std::vector<EndpointEvent> set_endpoint_text(EndpointEditor& editor, std::uint8_t field,
                                             std::string_view text, base::Instant now) {
  bool const dest = field == DEST_FIELD;
  std::vector<EndpointEvent> events;
  if (editor.active != (dest ? DEST_FIELD : ORIGIN_FIELD)) {
    events.push_back(start_endpoint_edit(editor, field));
  }
  (dest ? editor.dest_input : editor.origin_input).set_text(text);
  events.push_back(endpoint_text_changed(editor, dest ? DEST_FIELD : ORIGIN_FIELD, now));
  return events;
}

} // namespace maps
