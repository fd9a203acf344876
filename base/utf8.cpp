#include "base/utf8.h"

#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <vector>

namespace base::utf8 {

std::optional<char32_t> decode(std::string_view text, std::size_t& pos) {
  if (pos >= text.size()) {
    return std::nullopt;
  }
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char const lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  std::size_t len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    len = 2, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    len = 3, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    len = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return std::nullopt;
  }
  if (pos + len > text.size()) {
    return std::nullopt;
  }
  for (std::size_t i = 1; i < len; ++i) {
    unsigned char const c = byte(pos + i);
    if ((c & 0xC0) != 0x80) {
      return std::nullopt;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return std::nullopt;
  }
  pos += len;
  return cp;
}

bool is_valid(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (!decode(text, pos)) {
      return false;
    }
  }
  return true;
}

void append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::size_t length(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) {
    n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }
  return n;
}

std::size_t offset_of(std::string_view text, std::size_t index) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (seen == index) {
        return i;
      }
      ++seen;
    }
  }
  return text.size();
}

std::string lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t const start = pos;
    if (decode(bytes, pos)) {
      out.append(bytes.substr(start, pos - start));
    } else {
      append(out, 0xFFFD);
      ++pos;
    }
  }
  return out;
}

bool is_white_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

std::string_view trim(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t next = begin;
    auto cp = decode(text, next);
    if (!cp || !is_white_space(*cp)) {
      break;
    }
    begin = next;
  }
  std::size_t end = text.size();
  while (end > begin) {
    // Step back to the start of the last code point.
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
      --start;
    }
    std::size_t next = start;
    auto cp = decode(text, next);
    if (!cp || next != end || !is_white_space(*cp)) {
      break;
    }
    end = start;
  }
  return text.substr(begin, end - begin);
}

std::string to_lower(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  UErrorCode status = U_ZERO_ERROR;
  std::vector<UChar> wide(text.size() + 1);
  int32_t wide_len = 0;
  u_strFromUTF8Lenient(wide.data(), static_cast<int32_t>(wide.size()), &wide_len, text.data(),
                       static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) {
    return std::string(text);
  }
  std::vector<UChar> lower(static_cast<std::size_t>(wide_len) * 3 + 1);
  status = U_ZERO_ERROR;
  int32_t const lower_len = u_strToLower(lower.data(), static_cast<int32_t>(lower.size()),
                                         wide.data(), wide_len, "", &status);
  if (U_FAILURE(status)) {
    return std::string(text);
  }
  std::string out(static_cast<std::size_t>(lower_len) * 3 + 1, '\0');
  int32_t out_len = 0;
  status = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &out_len, lower.data(), lower_len,
              &status);
  if (U_FAILURE(status)) {
    return std::string(text);
  }
  out.resize(static_cast<std::size_t>(out_len));
  return out;
}

} // namespace base::utf8
