// One-line summaries of IP datagrams and ARP packets carried in AX.25 frames.
#pragma once

void decode_ip(const char* report);
void decode_arp(const char* report);
