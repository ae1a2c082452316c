// Running the real binaries from tests: spawn, wait, read what they wrote,
// and the node's end of a socket to talk to them.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/file_text.h"

// Starts argv[0] (through the test launcher when it is a program of this
// build tree, see launcher.h) with standard output and error going to the
// given files (standard input from /dev/null); extra_env entries are
// "NAME=value". Under a launcher the child also gets PELLARIN_LAUNCHER, its
// words, for the scripts among the programs that start this tree's
// programs themselves (tools/demo.sh, for one).
// With own_group the child leads a new process group, as a shell's
// foreground job does, so that a test can signal the whole group.
pid_t spawn_process(const std::vector<std::string>& argv, const std::string& stdout_path,
                    const std::string& stderr_path, const std::vector<std::string>& extra_env = {},
                    bool own_group = false);

// Every timeout below is what a native build needs; the helpers stretch it
// by the test time scale (launcher.h) for emulated runs.

// The exit status (128 + signal number for a killed process), or -1000 when
// the process is still running after timeout_ms; it is then left running.
int wait_process(pid_t pid, int timeout_ms);

// Sends a signal and waits for the end; kills it hard if it lingers.
int stop_process(pid_t pid, int signal_number, int timeout_ms = 5000);

// Waits until the file holds the text; false on timeout.
bool wait_for_text(const std::string& path, const std::string& text, int timeout_ms);

struct ProcessResult {
  int status;
  std::string out;
  std::string err;
};

// The node's end of the trace service: a UDP socket bound to port 7373 on
// a loopback address; -1 when the address cannot be bound.
int bind_node_socket(const std::string& address);

// Runs a program that ends by itself.
ProcessResult run_process(const std::vector<std::string>& argv, int timeout_ms = 10000);

// A spawned process that is killed when the test ends, however it ends, so
// that a failed assertion leaves nothing running on the test's address.
class ScopedProcess {
 public:
  explicit ScopedProcess(pid_t pid) : pid_(pid) {}
  ScopedProcess(const ScopedProcess&) = delete;
  ScopedProcess& operator=(const ScopedProcess&) = delete;
  ~ScopedProcess();

  pid_t pid() const { return pid_; }
  // As wait_process and stop_process; once it has ended, it is left alone.
  int wait(int timeout_ms);
  int stop(int signal_number);

 private:
  pid_t pid_;
  bool ended_ = false;
};
