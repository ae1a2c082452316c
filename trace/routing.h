// Routing broadcasts carried in NET/ROM frames: NODES and INP3.
#pragma once

// Picks the NODES or INP3 decoder by the report's "type".
void decode_routing_info(const char* report);
void decode_nodes(const char* report);
void decode_inp3(const char* report);
