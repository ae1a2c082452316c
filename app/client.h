// The client's start-up sequence, from banner to receive loop.
#pragma once

// Returns the process's exit status.
int run_client(int argc, char** argv);
