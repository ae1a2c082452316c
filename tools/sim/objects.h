// Report objects in a trace datagram: choosing the ones a subscriber of one
// node port should get.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The report texts (each object's text between its braces) that the client
// cuts out of the datagram, in order; none for a datagram longer than the
// client ever takes whole.
std::vector<std::string> report_texts(std::string_view datagram);

// The number the report's top-level "port" key holds, read like atoi
// (a string "03" is 3, a word is 0), or nothing when the report has no
// top-level "port" key. `report` is an object's text between its braces;
// nested objects and string values are not searched.
std::optional<int> object_port(std::string_view report);

// What a subscriber of `port` (0 = all ports) is sent of the datagram:
// the datagram unchanged when every object the client would cut out of it
// is for that port or carries no port (so also when it holds none);
// otherwise just those objects, back to back; nothing when none is left.
std::optional<std::string> datagram_for_port(std::string_view datagram, int port);

}  // namespace sim
