// The datagram splitter: counts braces, minding strings and escapes.
#include "intake/splitter.h"

#include <algorithm>
#include <array>
#include <cstring>

void split_datagram(char* data, std::size_t length, ReportHandler handle) {
  static std::array<char, OBJECT_BUFFER_SIZE> object;
  data[length] = '\0';
  int depth = 0;
  bool in_string = false;
  bool escaped = false;
  bool overflowed = false;
  std::size_t write = 0;
  // The first zero byte ends the scan, as it ends the text.
  for (const char* at = data; *at != '\0'; ++at) {
    const char c = *at;
    if (depth == 0) {
      if (c == '{') {
        depth = 1;
        write = 0;
        overflowed = false;
      }
      continue;
    }
    if (in_string && !escaped && c != '"' && c != '\\') {
      // Within a string only a quote or a backslash changes anything, and
      // strings are most of a report: the run up to the next one is copied
      // at once.
      const char* end = at + 1;
      while (*end != '\0' && *end != '"' && *end != '\\') ++end;
      const auto run = static_cast<std::size_t>(end - at);
      const std::size_t room = object.size() - 1 - write;
      std::memcpy(object.data() + write, at, std::min(run, room));
      write += std::min(run, room);
      if (run > room) overflowed = true;
      at = end - 1;
      continue;
    }
    if (c == '}' && !escaped && !in_string) {
      --depth;
      if (depth == 0) {
        if (!overflowed) {
          object[write] = '\0';
          handle(object.data());
        }
        write = 0;
        continue;
      }
    }
    // The buffer keeps one place for the terminator; an object that would
    // need more is still scanned to its end, so what follows stays in step,
    // but it is never handed on.
    if (write < object.size() - 1)
      object[write++] = c;
    else
      overflowed = true;
    if (c == '{' && !escaped && !in_string)
      ++depth;
    else if (escaped)
      escaped = false;
    else if (c == '\\')
      escaped = true;
    else if (c == '"')
      in_string = !in_string;
  }
}
