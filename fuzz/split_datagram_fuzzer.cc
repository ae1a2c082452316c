// libFuzzer target: arbitrary bytes as a trace datagram, every switch on.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/settings.h"
#include "intake/splitter.h"
#include "output/channels.h"

namespace {

// Widths that reach every branch of the INP3 wrap test.
constexpr int WIDTHS[] = {80, 0, -7, 20};

std::FILE* null_sink() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  return sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The receive loop never hands on more than one datagram's worth, but the
  // splitter bounds itself; longer inputs check that bound too.
  if (size > 4 * MAX_DATAGRAM) return 0;
  settings = Settings{};
  settings.trace_flags = 0xFFFFFFFF;
  settings.display_width = size > 0 ? WIDTHS[data[0] % 4] : 80;
  settings.capture_file = null_sink();
  set_console_stream(null_sink());
  std::vector<char> datagram(size + 1);
  if (size > 0) std::memcpy(datagram.data(), data, size);
  split_datagram(datagram.data(), size);
  return 0;
}
