// Runs one golden case: the real client against pellarin-sim on loopback,
// then compares the capture file (and optionally the console) with the
// expected text. PELLARIN_GOLDEN_UPDATE=1 writes the actual text instead,
// for a person to review.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/report_harness.h"
#include "tests/support/test_environment.h"

namespace {

struct DriverOptions {
  std::string case_dir;
  std::string address;
  std::string pellarin;
  std::string sim;
};

bool file_exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> split_words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start + 1));
    start = end + 1;
  }
  return lines;
}

// A line diff (longest common subsequence; golden texts are short) with
// every escape shown, so a stray colour code or blank is plain to see.
void print_diff(const std::string& expected, const std::string& actual) {
  const std::vector<std::string> a = split_lines(expected);
  const std::vector<std::string> b = split_lines(actual);
  std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;)
    for (std::size_t j = b.size(); j-- > 0;)
      common[i][j] =
          a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
  auto show = [](char mark, const std::string& line) {
    std::string shown = visible(line);
    if (!shown.empty() && shown.back() == '\n') shown.pop_back();
    std::cout << mark << ' ' << shown << '\n';
  };
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      show(' ', a[i++]);
      ++j;
    } else if (j < b.size() && (i == a.size() || common[i][j + 1] >= common[i + 1][j])) {
      show('+', b[j++]);
    } else {
      show('-', a[i++]);
    }
  }
}

bool compare(const std::string& what, const std::string& expected_path, const std::string& actual,
             bool update) {
  if (update) {
    write_file(expected_path, actual);
    std::cout << "updated " << expected_path << " (review it before committing)\n";
    return true;
  }
  const std::string expected = read_file(expected_path);
  if (expected == actual) return true;
  std::cout << what << " differs from " << expected_path
            << " ('-' expected, '+' actual, escapes shown as \\e, \\n ...):\n";
  print_diff(expected, actual);
  return false;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

void sleep_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The client handles a datagram within microseconds of its arrival; once
// the emulator has sent everything, output that has not changed for a
// while is complete.
void wait_until_quiet(const std::string& capture, const std::string& console) {
  std::size_t last = 0;
  int quiet_ms = 0;
  for (int waited = 0; waited < 10000 && quiet_ms < 400; waited += 50) {
    const std::size_t now = read_file(capture).size() + read_file(console).size();
    quiet_ms = now == last ? quiet_ms + 50 : 0;
    last = now;
    sleep_ms(50);
  }
}

int run_case(const DriverOptions& options) {
  const std::string dir = options.case_dir;
  const TestDir work_dir;
  const std::string work = work_dir.path();
  const std::string capture = work + "/capture.txt";
  const std::string console = work + "/console.txt";
  const bool update = std::getenv("PELLARIN_GOLDEN_UPDATE") != nullptr;

  std::string args_line = file_exists(dir + "/args") ? read_file(dir + "/args") : "0 ADDR";
  std::vector<std::string> client{options.pellarin};
  for (const std::string& word : split_words(args_line))
    client.push_back(word == "ADDR" ? options.address : word);
  client.push_back("-O");
  client.push_back(capture);

  const pid_t sim = spawn_process(
      {options.sim, "replay", dir + "/input.dgrams", "--bind", options.address + ":7373", "--pace",
       "fast", "--all-ports", "--exit-when-done"},
      work + "/sim.out", work + "/sim.err");
  const pid_t pellarin =
      spawn_process(client, console, work + "/client.err", {"TZ=UTC", "LC_ALL=C"});

  const int sim_status = wait_process(sim, 20000);
  if (sim_status != 0) {
    if (sim_status == -1000) stop_process(sim, SIGKILL);
    stop_process(pellarin, SIGKILL);
    std::cout << "pellarin-sim did not finish cleanly (status " << sim_status << "):\n"
              << read_file(work + "/sim.err");
    return 1;
  }
  wait_until_quiet(capture, console);
  const int client_status = stop_process(pellarin, SIGTERM);
  if (client_status != 128 + SIGTERM) {
    std::cout << "pellarin ended with status " << client_status << ":\n"
              << read_file(work + "/client.err");
    return 1;
  }
  const std::string client_errors = read_file(work + "/client.err");
  if (!client_errors.empty()) std::cout << "pellarin wrote to stderr:\n" << client_errors;

  bool same = compare("capture file", dir + "/expected.out", read_file(capture), update);
  if (file_exists(dir + "/expected.console")) {
    const std::string shown = replace_all(read_file(console), capture, "CAPTURE");
    same = compare("console", dir + "/expected.console", shown, update) && same;
  }
  return same && client_errors.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  DriverOptions options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--case") options.case_dir = value;
    if (name == "--address") options.address = value;
    if (name == "--pellarin") options.pellarin = value;
    if (name == "--sim") options.sim = value;
  }
  if (options.case_dir.empty() || options.address.empty() || options.pellarin.empty() ||
      options.sim.empty()) {
    std::cerr << "usage: golden_driver --case DIR --address 127.x.y.z --pellarin BIN --sim BIN\n";
    return 2;
  }
  return run_case(options);
}
