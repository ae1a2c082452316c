// Routing broadcasts carried in NET/ROM frames: NODES and INP3.
#pragma once

// Picks the NODES or INP3 decoder by the report's "type".
void decode_routing_info(const char* report);
void decode_nodes(const char* report);
void decode_inp3(const char* report);

// The '[' that begins the value of `key` in `text`, or nullptr.
const char* find_array(const char* text, const char* key);

// Copies the array element after `position` (the '[' on the first call, then
// the previous element's '{') into `buffer`, at most `limit` characters and
// a terminator; returns the element's '{' in the text, or nullptr at the end.
const char* next_object(const char* position, char* buffer, int limit);
