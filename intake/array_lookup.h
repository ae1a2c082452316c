// Report reading beyond single values: the elements of an array of objects.
#pragma once

// The '[' that begins the value of `key` in `text`, or nullptr.
const char* find_array(const char* text, const char* key);

// Copies the array element after `position` (the '[' on the first call, then
// the previous element's '{') into `buffer`, at most `limit` characters and
// a terminator; returns the element's '{' in the text, or nullptr at the end.
const char* next_object(const char* position, char* buffer, int limit);
