#include "endpoint_editor/endpoint_editor.h"

#include <algorithm>

#include "app/maps_app.h"
#include "base/utf8.h"
#include "draw/suggestion_rows.h"
#include "platform/widgets/deliver.h"

namespace maps {

EndpointEditor new_endpoint_editor() {
  EndpointEditor editor;
  editor.origin_input = zarn_ui::widget::TextInput::local().with_kind(2, 13.0f).with_placeholder(
      "Choose starting point");
  editor.dest_input = zarn_ui::widget::TextInput::local().with_kind(2, 13.0f).with_placeholder(
      "Choose destination");
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

void start_endpoint_edit(MapsApp& app, std::uint8_t field) {
  auto& editor = app.endpoints;
  end_search_editing(app.search_box);
  bool const dest = field == DEST_FIELD;
  edit_endpoint(editor, dest ? DEST_FIELD : ORIGIN_FIELD);
  auto& input = dest ? editor.dest_input : editor.origin_input;
  input.set_focused(true);
  (void)input.take_dirty();
  app.endpoint_query_changed({EndpointEvent::Edited{std::string(), dest}});
}

bool pick_endpoint_suggestion(MapsApp& app, std::uint8_t field, std::size_t index) {
  auto& editor = app.endpoints;
  if (field != ORIGIN_FIELD && field != DEST_FIELD) {
    return false;
  }
  bool const dest = field == DEST_FIELD;
  auto const& list = dest ? editor.dest_suggestions : editor.origin_suggestions;
  if (index >= list.size()) {
    return false;
  }
  Place place = list[index];
  reset_endpoint_editor(editor);
  app.endpoint_query_changed({EndpointEvent::Picked{std::move(place), dest}});
  return true;
}

bool press_endpoint_editor(MapsApp& app, zarn_ui::Point p, zarn_ui::Event const& event,
                           zarn_ui::Modifiers modifiers, double scale) {
  auto& editor = app.endpoints;
  auto const hit = std::find_if(editor.hits.rbegin(), editor.hits.rend(),
                                [&](EndpointHit const& h) { return h.rect.contains(p); });
  if (hit == editor.hits.rend()) {
    return false;
  }
  EndpointHit h = *hit;
  end_search_editing(app.search_box);
  bool const needs_field =
      h.kind == EndpointHitKind::Field || h.kind == EndpointHitKind::Suggestion;
  if (needs_field && h.field != ORIGIN_FIELD && h.field != DEST_FIELD) {
    h.kind = EndpointHitKind::Inert; // belongs to neither field
  }
  bool const dest = h.field == DEST_FIELD;
  switch (h.kind) {
  case EndpointHitKind::Field: {
    start_endpoint_edit(app, h.field);
    auto& input = dest ? editor.dest_input : editor.origin_input;
    (void)zarn_ui::widget::deliver_text_input_event(input, event, modifiers, scale);
    input.set_focused(true);
    (void)input.take_dirty();
    break;
  }
  case EndpointHitKind::Suggestion:
    (void)pick_endpoint_suggestion(app, h.field, h.index);
    break;
  case EndpointHitKind::Swap:
    reset_endpoint_editor(editor);
    app.endpoint_query_changed({EndpointEvent::Swap{}});
    break;
  case EndpointHitKind::Inert:
    app.endpoint_query_changed({EndpointEvent::Idle{}});
    break;
  }
  return true;
}

void endpoint_editor_key(MapsApp& app, zarn_ui::Event const& event, zarn_ui::Key const& key,
                         zarn_ui::Modifiers modifiers, double scale) {
  auto& editor = app.endpoints;
  if (zarn_ui::is_named(key, zarn_ui::NamedKey::Escape)) {
    reset_endpoint_editor(editor);
    app.endpoint_query_changed({EndpointEvent::Idle{}});
    return;
  }
  bool const dest = editor.active == DEST_FIELD;
  auto const& list = dest ? editor.dest_suggestions : editor.origin_suggestions;
  std::size_t const rows = std::min(list.size(), MAX_SUGGESTION_ROWS);
  if (rows > 0) {
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::ArrowDown)) {
      step_highlight(editor.highlighted, rows, 1);
      return;
    }
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::ArrowUp)) {
      step_highlight(editor.highlighted, rows, -1);
      return;
    }
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::Enter) && editor.highlighted &&
        *editor.highlighted < rows) {
      Place place = list[*editor.highlighted];
      reset_endpoint_editor(editor);
      app.endpoint_query_changed({EndpointEvent::Picked{std::move(place), dest}});
      return;
    }
  }
  auto& input = dest ? editor.dest_input : editor.origin_input;
  auto& synced = dest ? editor.dest_text : editor.origin_text;
  input.set_focused(true);
  auto const outcome = zarn_ui::widget::deliver_text_input_event(input, event, modifiers, scale);
  if (outcome == zarn_ui::widget::InputOutcome::Submitted) {
    editor.debounce.reset();
    app.endpoint_query_changed({EndpointEvent::Query{std::string(base::utf8::trim(synced)), dest}});
  }
  if (input.take_dirty()) {
    endpoint_text_changed(app, dest ? DEST_FIELD : ORIGIN_FIELD);
  }
}

void endpoint_text_changed(MapsApp& app, std::uint8_t field) {
  auto& editor = app.endpoints;
  bool const dest = field == DEST_FIELD;
  auto& synced = dest ? editor.dest_text : editor.origin_text;
  synced = (dest ? editor.dest_input : editor.origin_input).text();
  if (base::utf8::trim(synced).empty()) {
    editor.debounce.reset();
  } else {
    editor.debounce = app.now() + INPUT_DEBOUNCE;
  }
  app.endpoint_query_changed({EndpointEvent::Edited{synced, dest}});
}

void set_endpoint_text(MapsApp& app, std::uint8_t field, std::string_view text) {
  bool const dest = field == DEST_FIELD;
  if (app.endpoints.active != (dest ? DEST_FIELD : ORIGIN_FIELD)) {
    start_endpoint_edit(app, field);
  }
  (dest ? app.endpoints.dest_input : app.endpoints.origin_input).set_text(text);
  endpoint_text_changed(app, dest ? DEST_FIELD : ORIGIN_FIELD);
}

} // namespace maps
