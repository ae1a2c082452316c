// Report objects in a trace datagram: cutting them out and choosing the ones
// a subscriber of one node port should get.
#include "sim/objects.h"

namespace sim {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Position just past the JSON string that begins with the quote at `i`
// (the end of the text when it is not closed).
size_t skip_string(std::string_view text, size_t i) {
  for (++i; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i + 1;
    }
  }
  return text.size();
}

// Position just past the value that begins at `i`: a string, a nested
// object or array, or a bare word or number.
size_t skip_value(std::string_view text, size_t i) {
  if (i >= text.size()) return i;
  if (text[i] == '"') return skip_string(text, i);
  if (text[i] == '{' || text[i] == '[') {
    int depth = 0;
    while (i < text.size()) {
      const char c = text[i];
      if (c == '"') {
        i = skip_string(text, i);
        continue;
      }
      if (c == '{' || c == '[') ++depth;
      if (c == '}' || c == ']') --depth;
      ++i;
      if (depth == 0) break;
    }
    return i;
  }
  while (i < text.size() && text[i] != ',' && text[i] != '}' && text[i] != ']' &&
         !is_space(text[i])) {
    ++i;
  }
  return i;
}

int leading_number(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long value = 0;
  // Saturate rather than overflow: no node port comes near the bound.
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < 1000000) value = value * 10 + (text[i] - '0');
  }
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

std::vector<std::string_view> split_objects(std::string_view datagram) {
  std::vector<std::string_view> objects;
  int depth = 0;
  bool in_string = false;
  bool escape = false;
  size_t start = 0;
  for (size_t i = 0; i < datagram.size(); ++i) {
    const char c = datagram[i];
    if (depth == 0) {
      if (c == '{') {
        depth = 1;
        start = i;
      }
      continue;
    }
    if (escape) {
      escape = false;
    } else if (c == '\\') {
      escape = true;
    } else if (c == '"') {
      in_string = !in_string;
    } else if (!in_string && c == '{') {
      ++depth;
    } else if (!in_string && c == '}' && --depth == 0) {
      objects.push_back(datagram.substr(start, i + 1 - start));
    }
  }
  return objects;
}

std::optional<int> object_port(std::string_view object) {
  if (object.size() < 2 || object.front() != '{') return std::nullopt;
  size_t i = 1;
  while (i < object.size()) {
    while (i < object.size() && (is_space(object[i]) || object[i] == ',')) ++i;
    if (i >= object.size() || object[i] != '"') return std::nullopt;
    const size_t key_end = skip_string(object, i);
    const std::string_view key = object.substr(i + 1, key_end - i - 2);
    i = key_end;
    while (i < object.size() && is_space(object[i])) ++i;
    if (i >= object.size() || object[i] != ':') return std::nullopt;
    ++i;
    while (i < object.size() && is_space(object[i])) ++i;
    const size_t value_end = skip_value(object, i);
    if (key == "port") {
      std::string_view value = object.substr(i, value_end - i);
      if (!value.empty() && value.front() == '"') value.remove_prefix(1);
      return leading_number(value);
    }
    i = value_end;
  }
  return std::nullopt;
}

std::optional<std::string> datagram_for_port(std::string_view datagram, int port) {
  if (port == 0) return std::string(datagram);
  const std::vector<std::string_view> objects = split_objects(datagram);
  std::string kept;
  bool all_kept = true;
  for (const std::string_view object : objects) {
    const std::optional<int> object_port_number = object_port(object);
    if (!object_port_number || *object_port_number == port) {
      kept += object;
    } else {
      all_kept = false;
    }
  }
  if (all_kept) return std::string(datagram);
  if (kept.empty()) return std::nullopt;
  return kept;
}

}  // namespace sim
