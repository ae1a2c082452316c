// The record file: one datagram-file line per datagram, each in one write.
#include "app/record_file.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

#include "app/platform.h"
#include "app/receive_loop.h"
#include "app/settings.h"
#include "intake/datagram_file.h"
#include "output/channels.h"

namespace {

constexpr char RECORD_OPEN_FAILURE[] = "Can't open record file '%s'\n";

int record_fd = -1;
std::string record_path;
std::uint32_t node_address = 0;
// A time_point is zero-initialised; its constructor cannot throw.
std::chrono::steady_clock::time_point recording_start;  // NOLINT(cert-err58-cpp)
bool failing = false;

// One write per line, so that a killed client leaves whole lines only; the
// piece of a line that a full disk cut short is taken back.
void write_line(const RecordLine& line) {
  const ssize_t written = write(record_fd, line.text.data(), line.length);
  const bool whole = written == static_cast<ssize_t>(line.length);
  if (!whole && written > 0) {
    const off_t end = lseek(record_fd, 0, SEEK_CUR);
    if (end >= written) (void)ftruncate(record_fd, end - written);
  }
  if (!whole && !failing) con_print("Can't write record file '%s'\n", record_path.c_str());
  failing = !whole;
}

void write_header() {
  write_line(format_recording_header(node_address, TRACE_PORT, settings.port_filter));
}

}  // namespace

bool open_record_file(const char* path, std::uint32_t server_address) {
  record_path = path;
  node_address = server_address;
  record_fd = open_for_append(record_path.c_str());
  if (record_fd < 0) {
    print_open_failure(RECORD_OPEN_FAILURE, path, errno);
    return false;
  }
  recording_start = std::chrono::steady_clock::now();
  write_header();
  return true;
}

void record_datagram(const char* data, std::size_t length) {
  if (record_fd < 0) return;
  const auto at_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - recording_start)
                         .count();
  write_line(format_datagram_line(std::string_view(data, length), at_ms));
}

void reopen_record_file() {
  if (record_path.empty()) return;
  if (record_fd >= 0) close(record_fd);
  record_fd = open_for_append(record_path.c_str());
  if (record_fd < 0) {
    print_open_failure(RECORD_OPEN_FAILURE, record_path.c_str(), errno);
    return;
  }
  failing = false;
  write_header();
}
