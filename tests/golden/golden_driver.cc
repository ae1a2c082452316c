// Runs one golden case: the real client reads the case's datagram file
// (--read: no socket, nothing timed), then the capture file (and optionally
// the console) is compared with the expected text. PELLARIN_GOLDEN_UPDATE=1
// writes the actual text instead, for a person to review.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/report_harness.h"
#include "tests/support/test_environment.h"

namespace {

struct DriverOptions {
  std::string case_dir;
  std::string pellarin;
  // Words put before the client's path, such as an emulator and its options.
  std::vector<std::string> launcher;
  // The client writes its capture file with CR LF line ends (Windows).
  bool crlf_capture = false;
};

// Up to a minute for a case; an emulated client is much slower than a
// native one, which needs milliseconds.
constexpr int CASE_TIMEOUT_MS = 60000;

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

// A report without "time" is stamped, and dated, by the client's clock. In
// a case whose expected text holds {NOW} or {TODAY}, the stamps and date
// lines of every second of the run are replaced by them.
bool uses_clock(const std::string& expected_path) {
  if (!file_exists(expected_path)) return false;
  const std::string expected = read_file(expected_path);
  return expected.find("{NOW}") != std::string::npos ||
         expected.find("{TODAY}") != std::string::npos;
}

std::string mask_clock(std::string text, std::time_t from, std::time_t to) {
  for (std::time_t second = from; second <= to; ++second) {
    std::tm utc{};
    if (gmtime_r(&second, &utc) == nullptr) continue;
    char stamp[16];
    char date_line[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S ", &utc);
    std::strftime(date_line, sizeof date_line, "--- %Y-%m-%d (UTC) ---", &utc);
    text = replace_all(text, stamp, "{NOW} ");
    text = replace_all(text, date_line, "--- {TODAY} (UTC) ---");
  }
  return text;
}

// The program's path: as given when it names a directory, otherwise the
// first match on PATH, as a shell would find it.
std::string find_program(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return name;
}

int run_case(const DriverOptions& options) {
  const std::string dir = options.case_dir;
  const TestDir work_dir;
  const std::string work = work_dir.path();
  const std::string capture = work + "/capture.txt";
  const std::string console = work + "/console.txt";
  const bool update = std::getenv("PELLARIN_GOLDEN_UPDATE") != nullptr;

  std::vector<std::string> client = options.launcher;
  client.push_back(options.pellarin);
  if (!client.empty()) client.front() = find_program(client.front());
  // ADDR stood for the emulator's address when cases ran live; a file
  // needs none.
  const std::string args_line = file_exists(dir + "/args") ? read_file(dir + "/args") : "0";
  for (const std::string& word : split_words(args_line))
    if (word != "ADDR") client.push_back(word);
  for (const std::string& word : {std::string("--read"), dir + "/input.dgrams", std::string("-O"),
                                  capture})
    client.push_back(word);

  const std::time_t started = std::time(nullptr);
  const pid_t pellarin =
      spawn_process(client, console, work + "/client.err", {"TZ=UTC", "LC_ALL=C"});
  int client_status = wait_process(pellarin, CASE_TIMEOUT_MS);
  const std::time_t ended = std::time(nullptr);
  if (client_status == -1000) client_status = stop_process(pellarin, SIGKILL);
  const std::string client_errors = read_file(work + "/client.err");
  if (client_status != 0) std::cout << "pellarin ended with status " << client_status << "\n";
  if (!client_errors.empty()) std::cout << "pellarin wrote to stderr:\n" << client_errors;

  std::string captured = read_file(capture);
  if (options.crlf_capture) captured = replace_all(captured, "\r\n", "\n");
  if (uses_clock(dir + "/expected.out")) captured = mask_clock(captured, started, ended);
  bool same = compare("capture file", dir + "/expected.out", captured, update);
  if (file_exists(dir + "/expected.console")) {
    const std::string shown = replace_all(read_file(console), capture, "CAPTURE");
    same = compare("console", dir + "/expected.console", shown, update) && same;
  }
  return same && client_status == 0 && client_errors.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  DriverOptions options;
  bool understood = true;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--crlf-capture") {
      options.crlf_capture = true;
      continue;
    }
    if (i + 1 == argc) {
      understood = false;
      break;
    }
    const std::string value = argv[++i];
    if (name == "--case")
      options.case_dir = value;
    else if (name == "--pellarin")
      options.pellarin = value;
    else if (name == "--launcher")
      options.launcher = split_words(value);
    else
      understood = false;
  }
  if (!understood || options.case_dir.empty() || options.pellarin.empty()) {
    std::cerr << "usage: golden_driver --case DIR --pellarin BIN [--launcher \"PROGRAM ARGS\"]"
                 " [--crlf-capture]\n";
    return 2;
  }
  return run_case(options);
}
