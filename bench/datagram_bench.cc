// Throughput of the whole datagram path (split, dispatch, format, write to
// a capture file) for typical reports, to keep a burst from a busy node
// well within what the loop can handle between two polls.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/settings.h"
#include "intake/dispatch.h"
#include "intake/splitter.h"
#include "output/channels.h"

namespace {

const std::string NETROM_INFO =
    R"({"@type":"L2Trace","serial":18,"time":1765000001,"reportFrom":"N0DE","port":"3",)"
    R"("isRF":true,"dirn":"rcvd","srce":"G4ABC-1","dest":"G4XYZ-2","l2Type":"I","cr":"C",)"
    R"("rseq":3,"tseq":5,"ilen":45,"pid":207,"ptcl":"NET/ROM","l3Type":"NetRom",)"
    R"("l3src":"G4ABC","l3dst":"G4XYZ","ttl":7,"l4type":"INFO","toCct":5,"txSeq":3,)"
    R"("rxSeq":5,"paylen":20,"text":"Good evening all, the band is open"})";

std::string nodes_broadcast() {
  std::string datagram =
      R"({"@type":"L2Trace","time":1765000002,"reportFrom":"N0DE","port":"1","isRF":true,)"
      R"("dirn":"rcvd","srce":"G8XYZ","dest":"NODES","l2Type":"UI","pid":207,)"
      R"("ptcl":"NET/ROM","l3Type":"Routing info","type":"NODES","fromAlias":"XYZNOD","nodes":[)";
  for (int i = 0; i < 12; ++i) {
    if (i > 0) datagram += ",";
    datagram += R"({"call":"G)" + std::to_string(i) + R"(ABC-1","alias":"NOD)" + std::to_string(i) +
                R"(","via":"G8XYZ","qual":)" + std::to_string(200 - i) + "}";
  }
  return datagram + "]}";
}

void run_datagrams(benchmark::State& state, const std::string& datagram) {
  settings = Settings{};
  // Colour escapes go to the console even when quiet: send it to the sink.
  settings.trace_flags |= TF_QUIET;
  settings.capture_file = std::fopen("/dev/null", "w");
  set_console_stream(settings.capture_file);
  std::vector<char> buffer(datagram.size() + 1);
  for (auto _ : state) {
    std::copy(datagram.begin(), datagram.end(), buffer.begin());
    split_datagram(buffer.data(), datagram.size(), dispatch_report);
  }
  set_console_stream(nullptr);
  std::fclose(settings.capture_file);
  settings.capture_file = nullptr;
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(datagram.size()));
}

void BM_NetromInfoFrame(benchmark::State& state) {
  run_datagrams(state, NETROM_INFO);
}
void BM_NodesBroadcast(benchmark::State& state) {
  run_datagrams(state, nodes_broadcast());
}

BENCHMARK(BM_NetromInfoFrame);
BENCHMARK(BM_NodesBroadcast);

}  // namespace
