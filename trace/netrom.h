// The NET/ROM network and transport decode that continues a frame's trace.
#pragma once

void decode_l3(const char* report);
void decode_netrom(const char* report);
void decode_l3rtt(const char* report);
void decode_l4(const char* report);
