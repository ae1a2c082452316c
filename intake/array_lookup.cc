// Arrays of flat objects or of strings in a report, read element by element.
#include "intake/array_lookup.h"

#include <cstring>

#include "intake/field_lookup.h"

const char* find_array(const char* text, const char* key) {
  const char* value = find_value(text, key);
  return value != nullptr && *value == '[' ? value : nullptr;
}

// Entries are flat objects: the walk takes the first '{', '}' or ']' it
// meets, inside quoted values too, and follows no nesting.
const char* next_object_in_place(const char* position, int limit, std::string_view& object) {
  const char* at = position;
  object = {};
  if (*at != '[') {
    while (*at != '}' && *at != ']' && *at != '\0') ++at;
    if (*at != '}') return nullptr;
  }
  while (*at != '{' && *at != ']' && *at != '\0') ++at;
  if (*at != '{') return nullptr;
  // Up to the element's first '}', the end of the text or the limit.
  const auto room = static_cast<std::size_t>(limit < 0 ? 0 : limit);
  const char* close = std::strchr(at, '}');
  std::size_t length = close != nullptr ? static_cast<std::size_t>(close - at) + 1 : std::strlen(at);
  if (length > room) length = room;
  const bool bracket = std::memchr(at, ']', length) != nullptr;
  object = {at, length};
  // The next call's search from this element's '{' would stop at its own
  // '}' unless a ']' comes first: from there it need not read the element again.
  return length > 0 && at[length - 1] == '}' && !bracket ? at + length - 1 : at;
}

const char* next_object(const char* position, char* buffer, int limit) {
  std::string_view object;
  if (next_object_in_place(position, limit, object) == nullptr) return nullptr;
  std::memcpy(buffer, object.data(), object.size());
  buffer[object.size()] = '\0';
  return object.data();
}

namespace {

constexpr bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

const char* skip_space(const char* at) {
  while (is_json_space(*at)) ++at;
  return at;
}

}  // namespace

const char* next_string(const char* position, char* buffer, int limit) {
  const char* at = skip_space(position + (*position == '[' ? 1 : 0));
  if (*position != '[') {
    if (*at != ',') return nullptr;
    at = skip_space(at + 1);
  }
  if (*at != '"') return nullptr;
  ++at;
  int copied = 0;
  // A string cut to the limit is still read to its closing quote.
  for (; *at != '"'; ++at) {
    if (*at == '\0') return nullptr;
    if (copied < limit) buffer[copied++] = *at;
  }
  buffer[copied] = '\0';
  return at + 1;
}
