// --heard-file: the lock, the reading at start and the atomic saves.
#include "app/heard_store.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "heard/heard_file.h"
#include "output/channels.h"

namespace {

// The writer's text goes to the temporary file in pieces this large, so
// that a save of full tables needs no buffer of its whole size.
constexpr std::size_t SAVE_BUFFER_SIZE = std::size_t{64} * 1024;

struct HeardStore {
  std::string given_path;  // as the command line named it
  std::string save_path;   // the file, or its stand-in when it cannot be read
  std::string temp_path;
  std::optional<MonotonicClock::time_point> next_due;
  bool failing = false;  // the last save failed and has been told
  // The tables' count of reports at the last save that succeeded (or at
  // the start): a timed save with nothing new would rewrite the same file,
  // wearing a Raspberry Pi's SD card for nothing.
  std::uint64_t counted_at_save = 0;
};

HeardStore store;
std::array<char, SAVE_BUFFER_SIZE> save_buffer;

// Gathers the writer's pieces in save_buffer and writes them out a buffer at
// a time.
class SaveWriter {
 public:
  explicit SaveWriter(int fd) : fd_(fd) {}

  static bool take(void* writer, std::string_view piece) {
    return static_cast<SaveWriter*>(writer)->add(piece);
  }

  bool add(std::string_view piece) {
    while (!piece.empty()) {
      if (used_ == save_buffer.size() && !flush()) return false;
      const std::size_t part = std::min(piece.size(), save_buffer.size() - used_);
      std::memcpy(save_buffer.data() + used_, piece.data(), part);
      used_ += part;
      piece.remove_prefix(part);
    }
    return true;
  }

  bool flush() {
    const bool written = write_replacement(fd_, save_buffer.data(), used_);
    used_ = 0;
    return written;
  }

 private:
  int fd_;
  std::size_t used_ = 0;
};

enum class Loaded { READ, ABSENT, UNREADABLE };

// A file that is not there is an empty list; one that cannot be opened or
// parsed leaves the tables empty and says why.
Loaded load(const std::string& path, std::string& why) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    if (errno == ENOENT) return Loaded::ABSENT;
    why = std::strerror(errno);
    return Loaded::UNREADABLE;
  }
  const bool read = read_heard_file(in, heard_tables(), why);
  std::fclose(in);
  return read ? Loaded::READ : Loaded::UNREADABLE;
}

bool take_lock(const char* path) {
  const std::string lock = std::string(path) + HEARD_LOCK_SUFFIX;
  switch (lock_file(lock.c_str())) {
    case FileLock::TAKEN:
      return true;
    case FileLock::HELD_ELSEWHERE:
      con_print("Heard file '%s' is in use by another client\n", path);
      return false;
    case FileLock::FAILED:
      break;
  }
  con_print("Can't lock heard file '%s' with '%s': %s\n", path, lock.c_str(), file_error_text());
  return false;
}

// A file that cannot be read is never written over: the list goes to the
// stand-in beside it, and goes on from there when the stand-in holds one.
bool read_at_start() {
  std::string why;
  if (load(store.given_path, why) != Loaded::UNREADABLE) return true;
  store.save_path += HEARD_STAND_IN_SUFFIX;
  con_print("[Heard file '%s' cannot be read (%s): kept as it is; the new list goes to '%s']\n",
            store.given_path.c_str(), why.c_str(), store.save_path.c_str());
  if (load(store.save_path, why) != Loaded::UNREADABLE) return true;
  con_print("Heard file '%s' cannot be read either (%s): move one of the two away\n",
            store.save_path.c_str(), why.c_str());
  return false;
}

// Written whole under the temporary name, then renamed over the file.
bool write_whole() {
  const char* temp = store.temp_path.c_str();
  const int fd = open_replacement(temp);
  if (fd < 0) return false;
  SaveWriter writer(fd);
  if (!write_heard_file(heard_tables(), SaveWriter::take, &writer) || !writer.flush()) {
    discard_replacement(fd, temp);
    return false;
  }
  return put_replacement_in_place(fd, temp, store.save_path.c_str());
}

}  // namespace

bool open_heard_file(const char* path, MonotonicClock::time_point now) {
  store = HeardStore{};
  store.given_path = path;
  store.save_path = path;
  if (!take_lock(path) || !read_at_start()) {
    store = HeardStore{};
    return false;
  }
  store.temp_path = store.save_path + HEARD_TEMP_SUFFIX;
  store.next_due = now + HEARD_SAVE_INTERVAL;
  store.counted_at_save = heard_tables().reports_counted;
  return true;
}

MonotonicClock::time_point next_heard_save() {
  return store.next_due ? *store.next_due : MonotonicClock::time_point::max();
}

void save_heard_file_if_due(MonotonicClock::time_point now) {
  if (!store.next_due || now < *store.next_due) return;
  // After a long stall the next save is a whole interval away, not at once.
  store.next_due = now + HEARD_SAVE_INTERVAL;
  if (!store.failing && heard_tables().reports_counted == store.counted_at_save) return;
  save_heard_file();
}

void save_heard_file() {
  if (store.save_path.empty()) return;
  const bool saved = write_whole();
  if (!saved && !store.failing)
    con_print("[Can't save heard file '%s': %s; trying again at each save]\n",
              store.save_path.c_str(), file_error_text());
  if (saved && store.failing) con_print("[Heard file '%s' saved again]\n", store.save_path.c_str());
  // Between datagrams nothing else flushes the console.
  if (saved == store.failing) std::fflush(console_stream());
  store.failing = !saved;
  if (saved) store.counted_at_save = heard_tables().reports_counted;
}
