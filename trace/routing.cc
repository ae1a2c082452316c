// NODES broadcasts and INP3 routing unicasts.
#include "trace/routing.h"

void decode_routing_info(const char*) {}
void decode_nodes(const char*) {}
void decode_inp3(const char*) {}
const char* find_array(const char*, const char*) { return nullptr; }
const char* next_object(const char*, char*, int) { return nullptr; }
