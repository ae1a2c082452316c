// The NET/ROM network and transport decode that continues a frame's trace.
#pragma once

#include "output/channels.h"

// Each adds its part of the trace to the text of the frame being traced.

void decode_l3(const char* report, TraceText& text);
void decode_netrom(const char* report, TraceText& text);
void decode_l3rtt(const char* report, TraceText& text);
void decode_l4(const char* report, TraceText& text);
