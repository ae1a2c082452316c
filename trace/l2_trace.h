// The L2 trace line: one AX.25 frame that the node sent or received.
#pragma once

void trace_l2(const char* report);
