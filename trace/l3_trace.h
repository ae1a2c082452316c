// The L3 trace line: a NET/ROM packet reported without its AX.25 frame.
#pragma once

void trace_l3(const char* report);
