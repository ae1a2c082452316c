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
const char* next_object(const char* position, char* buffer, int limit) {
  const char* at = position;
  if (*at != '[') {
    at = std::strpbrk(at, "}]");
    if (at == nullptr || *at != '}') return nullptr;
  }
  at = std::strpbrk(at, "{]");
  if (at == nullptr || *at != '{') return nullptr;
  int copied = 0;
  while (copied < limit && at[copied] != '\0') {
    buffer[copied] = at[copied];
    if (at[copied++] == '}') break;
  }
  buffer[copied] = '\0';
  return at;
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
