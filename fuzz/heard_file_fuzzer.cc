// libFuzzer target: arbitrary bytes as a heard file read at start. What the
// reader takes in, the writer must write out as a file that reads back to
// the same tables, and writes out again byte for byte; no control byte but
// the tab and the line feed may reach the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "heard/heard_file.h"

namespace {

bool append(void* text, std::string_view piece) {
  static_cast<std::string*>(text)->append(piece);
  return true;
}

std::string written() {
  std::string text;
  if (!write_heard_file(heard_tables(), append, &text)) std::abort();
  for (const char byte : text) {
    const auto value = static_cast<unsigned char>(byte);
    if ((value < 0x20 && byte != '\t' && byte != '\n') || value == 0x7F) std::abort();
  }
  return text;
}

bool read_text(std::string& text) {
  std::FILE* in = fmemopen(text.data(), text.size(), "rb");
  if (in == nullptr) std::abort();
  std::string error;
  const bool read = read_heard_file(in, heard_tables(), error);
  std::fclose(in);
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen takes no empty buffer
  std::string input(reinterpret_cast<const char*>(data), size);
  if (!read_text(input)) return 0;
  std::string first = written();
  if (!read_text(first)) std::abort();
  if (written() != first) std::abort();
  return 0;
}
