// libFuzzer target: arbitrary bytes as a datagram file read by --read; every
// record goes through the splitter with every switch on, and must come back
// unchanged from the line a writer makes of it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/settings.h"
#include "intake/datagram_file.h"
#include "intake/dispatch.h"
#include "intake/splitter.h"
#include "output/channels.h"

namespace {

std::FILE* null_sink() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  return sink;
}

// The writer's line for the record, read back, gives the record again.
void check_round_trip(const DatagramRecord& record) {
  const RecordLine line = format_datagram_line(record.view(), record.at_ms);
  std::string_view text = line.view();
  text.remove_suffix(1);  // the line feed
  DatagramRecord again;
  std::string error;
  if (parse_datagram_line(text, again, error) != LineKind::RECORD ||
      again.view() != record.view() || again.at_ms != record.at_ms)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen takes no empty buffer
  settings = Settings{};
  settings.trace_flags = 0xFFFFFFFF;
  settings.capture_file = null_sink();
  set_console_stream(null_sink());
  std::vector<char> text(data, data + size);
  std::FILE* in = fmemopen(text.data(), text.size(), "rb");
  if (in == nullptr) return 0;
  DatagramFileReader reader(in, "fuzz");
  DatagramRecord record;
  while (reader.next(record)) {
    check_round_trip(record);
    if (record.length > 0) split_datagram(record.bytes.data(), record.length, dispatch_report);
  }
  std::fclose(in);
  return 0;
}
