// The console and trace output channels.
#include "output/channels.h"

#include <array>
#include <cstdarg>

#include "app/settings.h"

namespace {

std::FILE* console = stdout;

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
  const int formatted = std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  if (formatted <= 0) return 0;
  // An over-long text is cut to the buffer rather than written past it.
  const std::size_t length = static_cast<std::size_t>(formatted) < text.size()
                                 ? static_cast<std::size_t>(formatted)
                                 : text.size() - 1;
  if (settings.capture_file != nullptr) {
    std::fwrite(text.data(), 1, length, settings.capture_file);
    std::fflush(settings.capture_file);
  }
  if (!trace_flag(TF_QUIET)) std::fwrite(text.data(), 1, length, console);
  return static_cast<int>(length);
}

int wrap_line() {
  out_print("%s    ", CONTINUATION);
  return WRAP_INDENT;
}
