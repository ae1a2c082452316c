// Report objects in a trace datagram: cutting them out and choosing the ones
// a subscriber of one node port should get.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Every complete top-level object of the datagram, braces included, in
// order. Braces inside string values and escaped characters are not
// counted; text outside objects and an object left open at the end are not
// part of the result.
std::vector<std::string_view> split_objects(std::string_view datagram);

// The number the object's top-level "port" key holds, read like atoi
// (a string "03" is 3, a word is 0), or nothing when the object has no
// top-level "port" key. Nested objects and string values are not searched.
std::optional<int> object_port(std::string_view object);

// What a subscriber of `port` (0 = all ports) is sent of the datagram:
// the datagram unchanged when every complete object in it is for that
// port or carries no port (so also when it holds no complete object);
// otherwise just those objects, back to back; nothing when none is left.
std::optional<std::string> datagram_for_port(std::string_view datagram, int port);

}  // namespace sim
