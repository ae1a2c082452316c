// Arrays of flat objects in a report, read element by element.
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
