// Throughput of the in-process datagram path (split, dispatch, format,
// write) per report kind and over a whole generated session, with a capture
// file (one write per trace, as the client does) and without one, and with
// the heard tables kept (the "/heard" lines) beside the same without them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/receive_loop.h"
#include "app/settings.h"
#include "heard/heard.h"
#include "heard/tables.h"
#include "intake/datagram_file.h"
#include "intake/field.h"
#include "output/channels.h"

namespace {

struct ReportKind {
  const char* name;
  std::string datagram;
};

std::string nodes_broadcast(int entries) {
  std::string datagram =
      R"({"@type":"L2Trace","serial":5101,"time":1765003600,"reportFrom":"N0DE","port":"2",)"
      R"("isRF":true,"dirn":"rcvd","srce":"G8XYZ","dest":"NODES","l2Type":"UI","cr":"C",)"
      R"("ilen":245,"pid":207,"ptcl":"NET/ROM","l3Type":"Routing info","type":"NODES",)"
      R"("fromAlias":"XYZNOD","nodes":[)";
  for (int i = 0; i < entries; ++i) {
    if (i > 0) datagram += ",";
    datagram += R"({"call":"G)" + std::to_string(i) + R"(ABC-1","alias":"NOD)" + std::to_string(i) +
                R"(","via":"G8XYZ","qual":)" + std::to_string(200 - i) + "}";
  }
  return datagram + "]}";
}

std::string inp3_unicast(int entries) {
  std::string datagram =
      R"({"@type":"L2Trace","serial":6201,"time":1765003600,"reportFrom":"N0DE","port":"1",)"
      R"("isRF":true,"dirn":"rcvd","srce":"M0PQR","dest":"N0DE","l2Type":"I","rseq":4,)"
      R"("tseq":2,"ilen":230,"pid":207,"ptcl":"NET/ROM","l3Type":"Routing info",)"
      R"("type":"INP3","nodes":[)";
  for (int i = 0; i < entries; ++i) {
    if (i > 0) datagram += ",";
    datagram += R"({"call":"M)" + std::to_string(i) + R"(PQR","hops":)" + std::to_string(i + 1) +
                R"(,"tt":)" + std::to_string(30 * (i + 1)) + R"(,"alias":"PQR)" +
                std::to_string(i) +
                R"(","latitude":"51.45","longitude":"-2.58","software":"Tollan",)"
                R"("version":"3.1","isNode":true,"isBBS":false,"timestamp":1765003500,)"
                R"("tzMins":0})";
  }
  return datagram + "]}";
}

const std::vector<ReportKind>& report_kinds() {
  static const std::vector<ReportKind> kinds = {
      {"L2Control",
       R"({"@type":"L2Trace","serial":41,"time":1765000008,"reportFrom":"N0DE","port":"1",)"
       R"("isRF":true,"dirn":"rcvd","srce":"G4ABC","dest":"N0DE","l2Type":"RR","cr":"R",)"
       R"("pf":"F","rseq":4})"},
      {"UiText",
       R"({"@type":"L2Trace","serial":17,"time":1765000000,"reportFrom":"N0DE","port":"1",)"
       R"("isRF":true,"dirn":"rcvd","srce":"G4ABC-1","dest":"BEACON","l2Type":"UI","cr":"C",)"
       R"("pf":"P","ilen":38,"pid":240,"ptcl":"DATA","text":"G4ABC-1 portable, QRV 144.950 tonight"})"},
      {"NetromInfo",
       R"({"@type":"L2Trace","serial":18,"time":1765000001,"reportFrom":"N0DE","port":"3",)"
       R"("isRF":true,"dirn":"rcvd","srce":"G4ABC-1","dest":"G4XYZ-2","l2Type":"I","cr":"C",)"
       R"("rseq":3,"tseq":5,"ilen":45,"pid":207,"ptcl":"NET/ROM","l3Type":"NetRom",)"
       R"("l3src":"G4ABC","l3dst":"G4XYZ","ttl":7,"l4type":"INFO","toCct":5,"fromCct":9,)"
       R"("txSeq":3,"rxSeq":5,"paylen":20,"text":"Good evening all\r"})"},
      {"ConnReq",
       R"({"@type":"L2Trace","serial":19,"time":1765000002,"reportFrom":"N0DE","port":"1",)"
       R"("isRF":true,"dirn":"rcvd","srce":"G8XYZ","dest":"N0DE","l2Type":"I","rseq":0,)"
       R"("tseq":0,"ilen":36,"pid":207,"ptcl":"NET/ROM","l3Type":"NetRom","l3src":"G8XYZ",)"
       R"("l3dst":"N0DE","ttl":25,"l4type":"CONN REQ","toCct":0,"fromCct":12,"window":4,)"
       R"("srcUser":"M0PQR-3","srcNode":"G8XYZ","service":0,"l4t1":120})"},
      {"Nodes12", nodes_broadcast(12)},
      {"Inp3Unicast6", inp3_unicast(6)},
      {"LinkStatus",
       R"({"@type":"LinkStatus","serial":103,"time":1765003720,"reportFrom":"N0DE",)"
       R"("node":"N0DE","port":"1","local":"N0DE","remote":"G4ABC-7","direction":"outgoing",)"
       R"("id":3,"isRF":true,"upForSecs":120,"frmsSent":48,"frmsResent":5,"frmsRcvd":51,)"
       R"("bytesSent":3912,"bytesRcvd":10240,"L2RttMs":1850,"frmsQueued":2,"frmsQdPeak":7,)"
       R"("frmQMax":16,"bpsTxMean":260,"bpsRxMean":683})"},
      {"CircuitStatus",
       R"({"@type":"CircuitStatus","serial":202,"time":1765007500,"reportFrom":"N0DE",)"
       R"("node":"N0DE","local":"G4ABC@N0DE","remote":"BBS@G4XYZ","direction":"outgoing",)"
       R"("service":1,"id":"0x2c05","upForSecs":300,"segsSent":14,"segsResent":1,)"
       R"("segsRcvd":40,"segsQueued":3,"bytesSent":612,"bytesRcvd":8870})"},
      {"NodeStatus",
       R"({"@type":"NodeStatus","serial":2,"time":1765013600,"reportFrom":"N0DE",)"
       R"("nodeCall":"N0DE","nodeAlias":"HUB","locator":"IO91WM","software":"Korvane",)"
       R"("version":"2.4.1","uptimeSecs":3600,"linksIn":4,"linksOut":2,"cctsIn":3,)"
       R"("cctsOut":1,"l3Rlyd":1289})"},
  };
  return kinds;
}

// Everything shown, status reports included, colour and time stamps on.
// With a capture file: quiet, and the file unbuffered as the client opens
// it, so every trace is one write. Without: the console, flushed after
// every datagram as the receive loop does. With `heard`, the tables are
// kept as well, from empty.
void run_datagrams(benchmark::State& state, const std::vector<std::string>* datagrams, bool capture,
                   bool heard) {
  settings = Settings{};
  settings.heard = heard;
  heard_tables().clear();
  settings.trace_flags |= TF_LINK_REPORTS | TF_CIRCUIT_REPORTS | TF_NODE_REPORTS;
  std::FILE* sink = std::fopen("/dev/null", "w");
  set_console_stream(sink);
  if (capture) {
    settings.trace_flags |= TF_QUIET;
    settings.capture_file = open_capture_stream("/dev/null", false);
  }
  std::size_t longest = 0;
  std::int64_t bytes = 0;
  for (const std::string& datagram : *datagrams) {
    longest = std::max(longest, datagram.size());
    bytes += static_cast<std::int64_t>(datagram.size());
  }
  std::vector<char> buffer(longest + 1);
  for (auto _ : state) {
    for (const std::string& datagram : *datagrams) {
      std::copy(datagram.begin(), datagram.end(), buffer.begin());
      handle_datagram(buffer.data(), datagram.size());
    }
  }
  set_console_stream(nullptr);
  if (settings.capture_file != nullptr) std::fclose(settings.capture_file);
  settings = Settings{};
  std::fclose(sink);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(datagrams->size()));
  state.SetBytesProcessed(state.iterations() * bytes);
}

// What the heard tables add to the dispatcher's work: one report's inner
// text (as the splitter hands it on) counted again and again, its "@type"
// read once, as the dispatcher has read it before it hands the report on.
void observe_report(benchmark::State& state, const std::string* datagram) {
  settings = Settings{};
  settings.heard = true;
  heard_tables().clear();
  const std::string report = datagram->substr(1, datagram->size() - 2);
  Field<80> type;
  type.read(report.c_str(), "@type");
  for (auto _ : state) heard_observe(report.c_str(), type.text());
  settings = Settings{};
  state.SetItemsProcessed(state.iterations());
}

// A generated session of the emulator's small network (every report kind in
// believable proportions); one report per datagram.
const std::vector<std::string>& session() {
  static const std::vector<std::string> datagrams = [] {
    std::vector<std::string> texts;
    std::FILE* in = std::fopen(PELLARIN_BENCH_SESSION, "rb");
    if (in == nullptr) {
      std::perror(PELLARIN_BENCH_SESSION);
      return texts;
    }
    DatagramFileReader reader(in, PELLARIN_BENCH_SESSION);
    DatagramRecord record;
    while (reader.next(record)) texts.emplace_back(record.view());
    if (!reader.error().empty()) std::fprintf(stderr, "%s\n", reader.error().c_str());
    std::fclose(in);
    return texts;
  }();
  return datagrams;
}

}  // namespace

int main(int argc, char** argv) {
  static std::vector<std::vector<std::string>> singles;
  singles.reserve(report_kinds().size());
  for (const ReportKind& kind : report_kinds()) singles.push_back({kind.datagram});
  struct Variant {
    const char* suffix;
    bool capture;
    bool heard;
  };
  static constexpr Variant VARIANTS[] = {
      {"/capture", true, false}, {"/capture/heard", true, true}, {"/console", false, false}};
  for (std::size_t i = 0; i < report_kinds().size(); ++i) {
    for (const Variant& variant : VARIANTS) {
      benchmark::RegisterBenchmark(
          (std::string("Report/") + report_kinds()[i].name + variant.suffix).c_str(), run_datagrams,
          &singles[i], variant.capture, variant.heard);
    }
  }
  for (const ReportKind& kind : report_kinds())
    benchmark::RegisterBenchmark((std::string("Observe/") + kind.name).c_str(), observe_report,
                                 &kind.datagram);
  for (const Variant& variant : VARIANTS) {
    benchmark::RegisterBenchmark((std::string("Session") + variant.suffix).c_str(),
                                 [](benchmark::State& state, bool with_capture, bool heard) {
                                   if (session().empty()) {
                                     state.SkipWithError("no generated session");
                                     return;
                                   }
                                   run_datagrams(state, &session(), with_capture, heard);
                                 },
                                 variant.capture, variant.heard);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
