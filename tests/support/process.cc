// Process helpers for end-to-end tests and the golden driver.
#include "tests/support/process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/support/launcher.h"
#include "tests/support/test_environment.h"

extern char** environ;

namespace {

void sleep_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

pid_t spawn_process(const std::vector<std::string>& argv, const std::string& stdout_path,
                    const std::string& stderr_path, const std::vector<std::string>& extra_env,
                    bool own_group) {
  std::vector<std::string> env_text;
  for (char** entry = environ; *entry != nullptr; ++entry) env_text.emplace_back(*entry);
  // Scripts that start the tree's programs put this before them.
  if (TEST_LAUNCHER[0] != '\0')
    env_text.push_back(std::string("PELLARIN_LAUNCHER=") + TEST_LAUNCHER);
  for (const std::string& extra : extra_env) env_text.push_back(extra);
  const std::vector<std::string> launched = with_launcher(argv);
  std::vector<char*> args;
  for (const std::string& arg : launched) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (const std::string& entry : env_text) env.push_back(const_cast<char*>(entry.c_str()));
  env.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    if (own_group) setpgid(0, 0);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(args[0], args.data(), env.data());
    _exit(127);
  }
  return pid;
}

int wait_process(pid_t pid, int timeout_ms) {
  timeout_ms = scaled_ms(timeout_ms);
  for (int waited = 0;; waited += 10) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -1;
    }
    if (done < 0) return -1;
    if (waited >= timeout_ms) return -1000;
    sleep_ms(10);
  }
}

int stop_process(pid_t pid, int signal_number, int timeout_ms) {
  kill(pid, signal_number);
  const int status = wait_process(pid, timeout_ms);
  if (status != -1000) return status;
  kill(pid, SIGKILL);
  return wait_process(pid, timeout_ms);
}

bool wait_for_text(const std::string& path, const std::string& text, int timeout_ms) {
  timeout_ms = scaled_ms(timeout_ms);
  for (int waited = 0; waited <= timeout_ms; waited += 20) {
    if (read_file(path).find(text) != std::string::npos) return true;
    sleep_ms(20);
  }
  return false;
}

ProcessResult run_process(const std::vector<std::string>& argv, int timeout_ms) {
  const TestDir dir;
  const pid_t pid = spawn_process(argv, dir / "out", dir / "err");
  int status = wait_process(pid, timeout_ms);
  if (status == -1000) status = stop_process(pid, SIGKILL);
  return {status, read_file(dir / "out"), read_file(dir / "err")};
}

ScopedProcess::~ScopedProcess() {
  if (!ended_) stop_process(pid_, SIGKILL);
}

int ScopedProcess::wait(int timeout_ms) {
  const int status = wait_process(pid_, timeout_ms);
  ended_ = status != -1000;
  return status;
}

int ScopedProcess::stop(int signal_number) {
  ended_ = true;
  return stop_process(pid_, signal_number);
}

int bind_node_socket(const std::string& address) {
  const int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in node{};
  node.sin_family = AF_INET;
  node.sin_port = htons(7373);
  inet_pton(AF_INET, address.c_str(), &node.sin_addr);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&node), sizeof node) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}
