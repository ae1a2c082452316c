// Routing broadcasts carried in NET/ROM frames: NODES and INP3.
#pragma once

#include "output/channels.h"

// Each adds its part of the trace to the text of the frame being traced.

// Picks the NODES or INP3 decoder by the report's "type".
void decode_routing_info(const char* report, TraceText& text);
void decode_nodes(const char* report, TraceText& text);
void decode_inp3(const char* report, TraceText& text);
