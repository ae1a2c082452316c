// The reading loop of --read: datagram file, splitter, console flush.
#include "app/read_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>

#include "app/console_keys.h"
#include "app/platform.h"
#include "app/receive_loop.h"
#include "intake/datagram_file.h"
#include "output/channels.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char STANDARD_INPUT[] = "-";

// A long wait is cut into slices so that Ctrl-C ends it soon; keys and
// SIGUSR2 end a slice early and are answered at once.
constexpr std::chrono::milliseconds LONGEST_SLEEP{100};

// Keeps the recorded times, counted from the first timed record. A time
// earlier than the one before starts a recording appended to the same
// file, and is due at once.
class RecordedPace {
 public:
  void wait_for(std::int64_t at_ms) {
    const Clock::time_point now = Clock::now();
    if (!origin_ || at_ms < last_ms_) {
      origin_ = now;
      origin_ms_ = at_ms;
    }
    last_ms_ = at_ms;
    const Clock::time_point due = *origin_ + std::chrono::milliseconds(at_ms - origin_ms_);
    for (Clock::time_point at = now; at < due && ending_signal() == 0; at = Clock::now()) {
      wait_for_console_keys(std::min<Clock::duration>(due - at, LONGEST_SLEEP));
      answer_console_requests();
    }
  }

 private:
  std::optional<Clock::time_point> origin_;
  std::int64_t origin_ms_ = 0;
  std::int64_t last_ms_ = 0;
};

}  // namespace

std::FILE* open_datagram_input(const char* path) {
  if (std::strcmp(path, STANDARD_INPUT) == 0) return stdin;
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) print_open_failure("Can't open datagram file '%s'\n", path, errno);
  return in;
}

int run_read_loop(std::FILE* in, const char* path, bool recorded_pace) {
  const bool standard_input = std::strcmp(path, STANDARD_INPUT) == 0;
  DatagramFileReader reader(in, standard_input ? "<stdin>" : path);
  DatagramRecord record;
  RecordedPace pace;
  while (ending_signal() == 0 && reader.next(record)) {
    if (recorded_pace && record.at_ms) pace.wait_for(*record.at_ms);
    if (ending_signal() != 0) break;
    read_waiting_keys();
    answer_console_requests();
    // The receive loop hands on only datagrams of at least one byte.
    if (record.length == 0) continue;
    handle_datagram(record.bytes.data(), record.length);
  }
  if (!standard_input) std::fclose(in);
  print_heard_at_end();
  finish_console();
  if (ending_signal() != 0) return 128 + ending_signal();
  if (reader.error().empty()) return 0;
  con_print("Stopped reading at %s\n", reader.error().c_str());
  std::fflush(console_stream());
  return 1;
}
