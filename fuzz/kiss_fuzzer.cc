// libFuzzer target: arbitrary bytes as a KISS stream and as a bare AX.25
// frame through pellarin-kiss's unframer and decoder. Every report must be
// strict JSON of at most one datagram's size.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "kiss/decoder.h"
#include "kiss/report.h"
#include "kiss/unframer.h"
#include "tests/support/strict_json.h"

namespace {

void check(const std::vector<std::string>& reports) {
  for (const std::string& report : reports) {
    if (report.size() > kiss::MAX_REPORT || !is_strict_json_object(report)) {
      std::fprintf(stderr, "bad report (%zu bytes): %s\n", report.size(), report.c_str());
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> input(data, size);
  kiss::StationSettings station;
  station.report_from = "N0DE";
  station.own_calls = {"G4XYZ"};
  // One decoder for the whole input, so that a SABME early in the stream
  // changes how later frames of its link are read.
  kiss::FrameDecoder decoder(station);
  int64_t time = 1765024496;
  std::vector<std::string> notes;
  kiss::Unframer unframer(
      [&](const kiss::KissFrame& frame) { check(decoder.decode(frame, time++, notes)); },
      [&](const std::string& note) { notes.push_back(note); });
  // Fed in pieces whose size the first byte chooses, as reads from a TNC come.
  const size_t piece = size > 0 ? data[0] % 64 + 1 : 1;
  for (size_t at = 0; at < size; at += piece) {
    unframer.feed(input.subspan(at, std::min(piece, size - at)));
  }
  check(decoder.decode(kiss::KissFrame{0, input}, time, notes));
  return 0;
}
