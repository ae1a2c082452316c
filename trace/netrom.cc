// NET/ROM network and transport headers.
#include "trace/netrom.h"

void decode_l3(const char*) {}
void decode_netrom(const char*) {}
void decode_l3rtt(const char*) {}
void decode_l4(const char*) {}
