// One-line summaries of IP datagrams and ARP packets carried in AX.25 frames.
#pragma once

#include "output/channels.h"

// Each adds its summary to the text of the frame being traced.

void decode_ip(const char* report, TraceText& text);
void decode_arp(const char* report, TraceText& text);
