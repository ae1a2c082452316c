// A formatter's field buffer: one value of a report, as received and as shown.
#pragma once

#include <array>
#include <string_view>

#include "intake/array_lookup.h"
#include "intake/field_lookup.h"
#include "output/printable.h"

// Numbers and filters read text(), the value as received (cut to its
// limit); printing uses shown(), the same value made safe for the terminal.
// There is no other way to the characters, so a formatter cannot print a
// value unsafely by forgetting a step, and a Field cannot be handed to a
// printf-style function by mistake: it cannot be copied.
template <int Limit>
class Field {
  static_assert(Limit > 0);

 public:
  // Both forms start empty; the rest of the buffers is written only by
  // read, which terminates what it writes (a formatter makes several
  // Fields of up to 2 KiB for every report, and clearing them would cost
  // more than reading them).
  Field() {
    received_[0] = '\0';
    shown_[0] = '\0';
  }
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  // get_field with this buffer, keeping at most `limit` characters (never
  // more than Limit). An absent key leaves both forms as they were.
  bool read(const char* report, std::string_view key, int limit = Limit) {
    if (!get_field(report, key, received_, limit)) return false;
    length_ = std::string_view(received_.data()).size();
    make_printable(text(), shown_);
    return true;
  }

  // The next string of an array from `position` (next_string, at most Limit
  // characters); returns where the walk goes on, or nullptr with both forms
  // emptied when the array has no further string.
  const char* read_next_string(const char* position) {
    const char* next = next_string(position, received_.data(), Limit);
    if (next == nullptr) received_[0] = '\0';
    length_ = std::string_view(received_.data()).size();
    make_printable(text(), shown_);
    return next;
  }

  std::string_view text() const { return {received_.data(), length_}; }
  const char* shown() const { return shown_.data(); }
  bool empty() const { return length_ == 0; }

 private:
  std::array<char, Limit + 1> received_;
  std::array<char, Limit + 1> shown_;
  std::size_t length_ = 0;
};
