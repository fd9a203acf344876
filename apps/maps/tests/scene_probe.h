#pragma once
// Reading a recorded Scene back in tests: the commands of one kind, the fills and strokes of one
// shape type with their colours and widths, in recording order.

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/scene/scene.h"

namespace maps::probe {

template <class Cmd> std::vector<Cmd> commands_of(zarn_ui::Scene const& scene) {
  std::vector<Cmd> out;
  for (auto const& cmd : scene.commands) {
    if (auto const* c = std::get_if<Cmd>(&cmd)) {
      out.push_back(*c);
    }
  }
  return out;
}

/// The scene with every cached tile replaced by the content it would render, placed where the
/// tile is (without the cut at the tile's edges).
inline zarn_ui::Scene with_tiles_opened(zarn_ui::Scene const& scene) {
  zarn_ui::Scene out;
  for (auto const& cmd : scene.commands) {
    if (auto const* tile = std::get_if<zarn_ui::CachedTileCmd>(&cmd)) {
      zarn_ui::Scene content;
      tile->content(content);
      out.append(content,
                 tile->transform * zarn_ui::Affine::translate(tile->rect.x0, tile->rect.y0));
    } else {
      out.commands.push_back(cmd);
    }
  }
  return out;
}

template <class Cmd> std::size_t count_of(zarn_ui::Scene const& scene) {
  std::size_t n = 0;
  for (auto const& cmd : scene.commands) {
    n += std::holds_alternative<Cmd>(cmd) ? 1 : 0;
  }
  return n;
}

template <class S> struct Filled {
  S shape;
  zarn_ui::Color color;
  std::size_t index; // position in the command list
};

template <class S> struct Stroked {
  S shape;
  zarn_ui::Color color;
  double width;
  std::size_t index;
};

template <class S> std::vector<Filled<S>> fills_of(zarn_ui::Scene const& scene) {
  std::vector<Filled<S>> out;
  for (std::size_t i = 0; i < scene.commands.size(); ++i) {
    if (auto const* f = std::get_if<zarn_ui::FillCmd>(&scene.commands[i])) {
      if (auto const* s = std::get_if<S>(&f->shape)) {
        out.push_back({*s, f->color, i});
      }
    }
  }
  return out;
}

template <class S> std::vector<Stroked<S>> strokes_of(zarn_ui::Scene const& scene) {
  std::vector<Stroked<S>> out;
  for (std::size_t i = 0; i < scene.commands.size(); ++i) {
    if (auto const* f = std::get_if<zarn_ui::StrokeCmd>(&scene.commands[i])) {
      if (auto const* s = std::get_if<S>(&f->shape)) {
        out.push_back({*s, f->color, f->style.width, i});
      }
    }
  }
  return out;
}

inline std::vector<std::string> texts_of(zarn_ui::Scene const& scene) {
  std::vector<std::string> out;
  for (auto const& t : commands_of<zarn_ui::TextCmd>(scene)) {
    out.push_back(t.text);
  }
  return out;
}

/// The recorded text runs, in painting order (pointers into the scene).
inline std::vector<zarn_ui::TextCmd const*> text_cmds(zarn_ui::Scene const& scene) {
  std::vector<zarn_ui::TextCmd const*> out;
  for (auto const& cmd : scene.commands) {
    if (auto const* t = std::get_if<zarn_ui::TextCmd>(&cmd)) {
      out.push_back(t);
    }
  }
  return out;
}

/// The first text run equal to `s`, or starting with it when `prefix`.
inline zarn_ui::TextCmd const* find_text_cmd(zarn_ui::Scene const& scene, std::string_view s,
                                             bool prefix = false) {
  for (auto const* t : text_cmds(scene)) {
    if (prefix ? t->text.starts_with(s) : t->text == s) {
      return t;
    }
  }
  return nullptr;
}

/// Push and pop layers pair up and never go below zero.
inline bool layers_balanced(zarn_ui::Scene const& scene) {
  int depth = 0;
  for (auto const& cmd : scene.commands) {
    if (std::holds_alternative<zarn_ui::PushLayerCmd>(cmd)) {
      ++depth;
    } else if (std::holds_alternative<zarn_ui::PopLayerCmd>(cmd)) {
      if (--depth < 0) {
        return false;
      }
    }
  }
  return depth == 0;
}

} // namespace maps::probe
