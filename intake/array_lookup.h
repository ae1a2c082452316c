// Report reading beyond single values: the elements of an array of objects
// or of strings.
#pragma once

#include <string_view>

// The '[' that begins the value of `key` in `text`, or nullptr.
const char* find_array(const char* text, const char* key);

// Copies the array element after `position` (the '[' on the first call, then
// the previous element's '{') into `buffer`, at most `limit` characters and
// a terminator; returns the element's '{' in the text, or nullptr at the end.
const char* next_object(const char* position, char* buffer, int limit);

// The same walk left in the text, for a reader that needs no copy: sets
// `object` to what next_object would copy and returns where the walk goes
// on (the position for the next call), or nullptr at the end.
const char* next_object_in_place(const char* position, int limit, std::string_view& object);

// Copies the next string of an array of strings (starting from the '[' on
// the first call, then from what the previous call returned) into `buffer`,
// at most `limit` characters and a terminator, the quotes left out and no
// escape decoded. Returns the position after the element's closing quote,
// or nullptr at the array's end or at anything that is not a string.
const char* next_string(const char* position, char* buffer, int limit);
