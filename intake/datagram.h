// The size of a trace datagram, as the node's trace service fixes it.
#pragma once

#include <cstddef>

// The node never sends more than this in one datagram.
inline constexpr std::size_t MAX_DATAGRAM = 1500;
