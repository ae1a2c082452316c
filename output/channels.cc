// The console and trace output channels.
#include "output/channels.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>

#include "app/settings.h"

namespace {

std::FILE* console = stdout;

// Set while writes to the capture file fail, so that the failure is told
// once and its end once, however many traces go by meanwhile.
bool capture_failing = false;

// vsnprintf, with the same text and result, for the formats that trace
// pieces nearly all have: literal text, "%s" and "%%". Those are copied
// here directly, since the C library's set-up for each call costs more than
// copying a short piece; a format with any other conversion, or a null
// text, goes to vsnprintf whole.
int format_piece(char* buffer, std::size_t size, const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  std::size_t length = 0;  // the whole length, kept or not, as vsnprintf counts
  const auto append = [&](const char* text, std::size_t count) {
    if (length < size) std::memcpy(buffer + length, text, std::min(count, size - 1 - length));
    length += count;
  };
  for (const char* at = format; *at != '\0';) {
    const char* percent = std::strchr(at, '%');
    if (percent == nullptr) {
      append(at, std::strlen(at));
      break;
    }
    append(at, static_cast<std::size_t>(percent - at));
    const char* text = nullptr;
    if (percent[1] == '%') {
      text = "%";
    } else if (percent[1] == 's') {
      text = va_arg(args, const char*);
    }
    if (text == nullptr) {
      const int formatted = std::vsnprintf(buffer, size, format, again);
      va_end(again);
      return formatted;
    }
    append(text, std::strlen(text));
    at = percent + 2;
  }
  va_end(again);
  if (size > 0) buffer[std::min(length, size - 1)] = '\0';
  return static_cast<int>(std::min<std::size_t>(length, INT_MAX));
}

// Straight to the descriptor: the stream is unbuffered, so stdio would only
// add its own bookkeeping to the same system call. On Windows the C
// library's write still turns "\n" into CR LF in the text-mode file.
bool write_whole(std::FILE* file, const char* text, std::size_t length) {
  const int fd = fileno(file);
  while (length > 0) {
    const auto written =
        write(fd, text, static_cast<unsigned>(std::min<std::size_t>(length, INT_MAX)));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

void write_capture(const char* text, std::size_t length) {
  std::FILE* file = settings.capture_file;
  const bool written = write_whole(file, text, length);
  if (written == !capture_failing) return;
  capture_failing = !written;
  if (written) {
    con_print("[Writing to capture file '%s' again]\n", settings.capture_path);
  } else {
    con_print("[Can't write to capture file '%s': %s]\n", settings.capture_path,
              std::strerror(errno));
  }
}

}  // namespace

std::FILE* console_stream() {
  return console;
}

void set_console_stream(std::FILE* stream) {
  console = stream != nullptr ? stream : stdout;
}

int con_print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = std::vfprintf(console, format, args);
  va_end(args);
  return written;
}

int out_print(const char* format, ...) {
  static std::array<char, OUT_BUFFER_SIZE> text;
  va_list args;
  va_start(args, format);
  const int formatted = format_piece(text.data(), text.size(), format, args);
  va_end(args);
  if (formatted <= 0) return 0;
  // An over-long text is cut to the buffer rather than written past it.
  const std::size_t length = static_cast<std::size_t>(formatted) < text.size()
                                 ? static_cast<std::size_t>(formatted)
                                 : text.size() - 1;
  if (settings.capture_file != nullptr) write_capture(text.data(), length);
  if (!trace_flag(TF_QUIET)) std::fwrite(text.data(), 1, length, console);
  return static_cast<int>(length);
}

void print_open_failure(const char* message, const char* path, int reason) {
  con_print(message, path);
  std::fflush(console_stream());
  std::fprintf(stderr, "%s: %s\n", path, std::strerror(reason));
}

std::FILE* open_capture_stream(const char* path, bool overwrite) {
  std::FILE* file = std::fopen(path, overwrite ? "w" : "a");
  // Unbuffered: each print is one write, so one that fails (disk full)
  // leaves nothing in the stream to be written later out of order.
  if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

int wrap_line(TraceText& text) {
  text.add("%s    ", CONTINUATION);
  return WRAP_INDENT;
}

int TraceText::add(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const std::size_t room = text_.size() - length_;
  int formatted = format_piece(text_.data() + length_, room, format, args);
  va_end(args);
  if (formatted > 0 && static_cast<std::size_t>(formatted) >= room && length_ > 0) {
    text_[length_] = '\0';
    print();
    formatted = format_piece(text_.data(), text_.size(), format, again);
  }
  va_end(again);
  if (formatted <= 0) {
    text_[length_] = '\0';
    return 0;
  }
  const std::size_t piece =
      std::min(static_cast<std::size_t>(formatted), text_.size() - 1 - length_);
  length_ += piece;
  return static_cast<int>(piece);
}

void TraceText::print() {
  if (length_ == 0) return;
  out_print("%s", text_.data());
  length_ = 0;
}
