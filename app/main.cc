// Entry point of pellarin, the trace client for a Korvane node.
#include "app/client.h"

int main(int argc, char** argv) { return run_client(argc, argv); }
