// libFuzzer target: arbitrary bytes as a trace datagram, every switch on,
// for half the inputs the heard tables kept and printed after it in one of
// their formats, and whatever reaches the console or the capture file
// checked for bytes that a terminal would act on.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/receive_loop.h"
#include "app/settings.h"
#include "heard/heard.h"
#include "heard/tables.h"
#include "intake/datagram.h"
#include "output/channels.h"

namespace {

// Widths that reach every branch of the INP3 wrap test.
constexpr int WIDTHS[] = {80, 0, -7, 20};

// One in-memory stream per channel, emptied before every input.
struct Channel {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* stream = nullptr;

  void reopen() {
    if (stream != nullptr) std::fclose(stream);
    std::free(data);
    data = nullptr;
    size = 0;
    stream = open_memstream(&data, &size);
  }

  std::string_view text() {
    std::fflush(stream);
    return {data, size};
  }
};

Channel console_channel;
Channel capture_channel;

// Reads the output as the terminal would, one code point at a time, and
// names the first control that the client let through: C0 but the newline
// (and the tab, where TSV tables write their own), DEL, and C1 both as a raw
// byte and as the code points U+0080 to U+009F.
// A byte that does not begin a sequence decoded strictly (no overlong form)
// counts as the code point of its own value.
void check_shown(std::string_view text, const char* channel, bool tabs) {
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    unsigned code_point = lead;
    std::size_t length = 1;
    if (lead >= 0xC0 && lead < 0xF8) {
      const std::size_t wanted = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      unsigned decoded = lead & (0x7FU >> wanted);
      std::size_t i = 1;
      for (; i < wanted && at + i < text.size(); ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) break;
        decoded = (decoded << 6) | (next & 0x3FU);
      }
      constexpr unsigned SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};
      if (i == wanted && decoded >= SMALLEST[wanted]) {
        code_point = decoded;
        length = wanted;
      }
    }
    const bool own = code_point == '\n' || (tabs && code_point == '\t');
    const bool control = (code_point < 0x20 && !own) || code_point == 0x7F ||
                         (code_point >= 0x80 && code_point <= 0x9F);
    if (control) {
      std::fprintf(stderr, "control U+%04X reached the %s at byte %zu\n", code_point, channel, at);
      std::abort();
    }
    at += length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The receive loop never hands on more than one datagram's worth, but the
  // splitter bounds itself; longer inputs check that bound too.
  if (size > 4 * MAX_DATAGRAM) return 0;
  const std::uint8_t choice = size > 0 ? data[0] : 0;
  // Everything on but quiet, which would keep the trace from the console;
  // colour (whose escapes are the client's own) on for half the inputs, and
  // the output checked on the other half.
  const bool colour = (choice & 4U) != 0;
  settings = Settings{};
  settings.trace_flags = ~TF_QUIET & (colour ? ~0U : ~(TF_COLOUR | TF_COLOUR_TO_FILE));
  settings.display_width = WIDTHS[choice % 4];
  // The tables start empty for each input, so one input's output depends
  // on it alone.
  settings.heard = (choice & 8U) != 0;
  settings.heard_format = static_cast<HeardFormat>((choice >> 4) & 3U);
  settings.heard_sort = static_cast<HeardSort>((choice >> 6) & 3U);
  heard_tables().clear();
  console_channel.reopen();
  capture_channel.reopen();
  settings.capture_file = capture_channel.stream;
  set_console_stream(console_channel.stream);
  std::vector<char> datagram(size + 1);
  if (size > 0) std::memcpy(datagram.data(), data, size);
  handle_datagram(datagram.data(), size);
  if (colour) {
    if (settings.heard) heard_print(HEARD_ALL);
    return 0;
  }
  // The traces first; then the tables, where a TSV table's tabs are its own.
  check_shown(console_channel.text(), "console", false);
  check_shown(capture_channel.text(), "capture file", false);
  if (!settings.heard) return 0;
  const std::size_t console_before = console_channel.text().size();
  const std::size_t capture_before = capture_channel.text().size();
  heard_print(HEARD_ALL);
  const bool tabs = settings.heard_format == HeardFormat::tsv;
  check_shown(console_channel.text().substr(console_before), "console", tabs);
  check_shown(capture_channel.text().substr(capture_before), "capture file", tabs);
  return 0;
}
