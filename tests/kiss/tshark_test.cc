// The bridge's AX.25 and NET/ROM decoding held against a peer: every byte
// vector's frames and the Dire Wolf frames, given to Wireshark's tshark as a
// pcap of link type 202, compared frame by frame with the bridge's reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kiss/pcap.h"
#include "kiss/unframer.h"
#include "tests/kiss/vector_file.h"
#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

struct PeerFrame {
  std::string origin;  // the vector file and the frame's number in it
  std::vector<uint8_t> record;
  std::string report;  // the frame's first report
};

void add_stream_frames(const std::string& origin, const VectorCase& vector,
                       std::vector<PeerFrame>& frames) {
  kiss::StationSettings station = vector.station;
  kiss::FrameDecoder decoder(station);
  int64_t time = VECTOR_START_TIME;
  size_t number = 0;
  kiss::Unframer unframer(
      [&](const kiss::KissFrame& frame) {
        std::vector<std::string> notes;
        const std::vector<std::string> reports = decoder.decode(frame, time++, notes);
        PeerFrame peer{origin + " frame " + std::to_string(++number), {}, reports.front()};
        peer.record.push_back(static_cast<uint8_t>(frame.port << 4));
        peer.record.insert(peer.record.end(), frame.ax25.begin(), frame.ax25.end());
        frames.push_back(std::move(peer));
      },
      [](const std::string&) {});
  unframer.feed(vector.stream);
}

// A frame in monitor form, SOURCE>DEST[,DIGI[*]...]:TEXT, as a UI frame with
// PID F0, the way the modem test's generator makes it.
std::vector<uint8_t> monitor_frame(const std::string& line) {
  const size_t colon = line.find(':');
  const size_t arrow = line.find('>');
  std::vector<std::string> calls{line.substr(arrow + 1, colon - arrow - 1)};
  std::vector<std::string> path;
  std::istringstream digis(calls[0]);
  for (std::string call; std::getline(digis, call, ',');) path.push_back(call);
  calls = {path[0], line.substr(0, arrow)};
  calls.insert(calls.end(), path.begin() + 1, path.end());
  std::vector<uint8_t> frame{0x00};
  for (size_t i = 0; i < calls.size(); ++i) {
    std::string call = calls[i];
    const bool repeated = call.ends_with('*');
    if (repeated) call.pop_back();
    const size_t dash = call.find('-');
    const int ssid = dash == std::string::npos ? 0 : std::stoi(call.substr(dash + 1));
    call = call.substr(0, dash);
    call.resize(6, ' ');
    for (const char c : call) frame.push_back(static_cast<uint8_t>(c << 1));
    const bool high = i == 0 || repeated;
    frame.push_back(static_cast<uint8_t>(0x60 | ssid << 1 | (high ? 0x80 : 0) |
                                         (i + 1 == calls.size() ? 1 : 0)));
  }
  frame.push_back(0x03);
  frame.push_back(0xF0);
  frame.insert(frame.end(), line.begin() + static_cast<std::ptrdiff_t>(colon) + 1, line.end());
  return frame;
}

// One packet of tshark's PDML: for each field name, its first occurrence's
// showname and show attributes.
struct PeerField {
  std::string showname;
  std::string show;
};
using PeerPacket = std::map<std::string, PeerField>;

std::string attribute(const std::string& tag, const std::string& name) {
  const std::string start = " " + name + "=\"";
  const size_t at = tag.find(start);
  if (at == std::string::npos) return "";
  const size_t from = at + start.size();
  std::string value = tag.substr(from, tag.find('"', from) - from);
  for (const auto& [entity, c] : std::vector<std::pair<std::string, std::string>>{
           {"&quot;", "\""}, {"&apos;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
    for (size_t e = value.find(entity); e != std::string::npos; e = value.find(entity, e + 1)) {
      value.replace(e, entity.size(), c);
    }
  }
  return value;
}

std::vector<PeerPacket> parse_pdml(const std::string& pdml) {
  std::vector<PeerPacket> packets;
  std::istringstream in(pdml);
  for (std::string line; std::getline(in, line);) {
    if (line.find("<packet>") != std::string::npos) packets.emplace_back();
    const size_t tag = line.find("<field ");
    if (tag == std::string::npos || packets.empty()) continue;
    const std::string text = line.substr(tag);
    packets.back().emplace(attribute(text, "name"),
                           PeerField{attribute(text, "showname"), attribute(text, "show")});
  }
  return packets;
}

// A report's value of `key` as text, quotes left out; empty when absent.
std::string report_value(const std::string& report, const std::string& key) {
  const std::string start = "\"" + key + "\":";
  const size_t at = report.find(start);
  if (at == std::string::npos) return "";
  size_t from = at + start.size();
  if (report[from] == '"') return report.substr(from + 1, report.find('"', from + 1) - from - 1);
  size_t end = report.find_first_of(",}]", from);
  return report.substr(from, end - from);
}

// What follows "Label: " in a showname.
std::string after_label(const PeerPacket& packet, const std::string& field) {
  const auto found = packet.find(field);
  if (found == packet.end()) return "";
  const size_t colon = found->second.showname.find(": ");
  return colon == std::string::npos ? "" : found->second.showname.substr(colon + 2);
}

std::string number(const PeerPacket& packet, const std::string& field) {
  const auto found = packet.find(field);
  if (found == packet.end() || found->second.show.empty()) return "";
  return std::to_string(std::stoul(found->second.show, nullptr, 0));
}

// The frame type and poll/final letter of tshark's control field summary,
// "I, N(R)=0, N(S)=1 (0x02)", "S F, func=REJ, N(R)=2 (0x59)" or
// "U P, func=SABM (0x3F)".
void control_summary(const PeerPacket& packet, std::string& type, std::string& pf) {
  const std::string summary = after_label(packet, "ax25.ctl");
  const size_t func = summary.find("func=");
  type = func != std::string::npos
             ? summary.substr(func + 5, summary.find_first_of(", ", func) - func - 5)
             : summary.substr(0, summary.find_first_of(", "));
  if (type == "Unknown") type = "U?";
  pf = summary.size() > 2 && summary[1] == ' ' && summary[2] != '(' ? summary.substr(2, 1) : "";
}

// Transport kinds by their opcode (T4's low nibble); the opcode-0 kinds all
// share it, and the PID change rides on the reset's.
const std::map<std::string, unsigned> OPCODES = {
    {"PROT EXT", 0}, {"IP", 0},       {"NRR Request", 0}, {"NRR Reply", 0},  {"NCMP", 0},
    {"CONN REQ", 1}, {"CONN ACK", 2}, {"CONN NAK", 2},    {"DREQ", 3},       {"DACK", 4},
    {"INFO", 5},     {"INFO ACK", 6}, {"RSET", 7},        {"PID CHANGE", 7}, {"CONN_REQX", 8}};

struct Tally {
  size_t full = 0;
  size_t modulo_128 = 0;
  size_t undecodable = 0;
  size_t netrom = 0;
  size_t pid_unshown = 0;
};

void compare(const PeerFrame& frame, const PeerPacket& packet, Tally& tally,
             std::vector<std::string>& differences) {
  const std::string& r = frame.report;
  auto expect = [&](const std::string& what, const std::string& bridge, const std::string& peer) {
    if (bridge != peer) {
      differences.push_back(frame.origin + ": " + what + ": bridge '" + bridge + "', tshark '" +
                            peer + "'");
    }
  };
  const std::string source = report_value(r, "srce");
  if (source.empty() || !packet.contains("ax25.src")) {
    ++tally.undecodable;
    return;
  }
  expect("source", source, after_label(packet, "ax25.src"));
  expect("destination", report_value(r, "dest"), after_label(packet, "ax25.dst"));
  if (report_value(r, "l2Type").empty() || !packet.contains("ax25.ctl")) {
    ++tally.undecodable;
    return;
  }
  // Wireshark reads every control field as modulo 8.
  if (report_value(r, "modulo") == "128") {
    ++tally.modulo_128;
    return;
  }
  ++tally.full;
  std::string type;
  std::string pf;
  control_summary(packet, type, pf);
  expect("frame type", report_value(r, "l2Type"), type);
  expect("poll/final", report_value(r, "pf"), pf);
  expect("N(R)", report_value(r, "rseq"), number(packet, "ax25.ctl.n_r"));
  expect("N(S)", report_value(r, "tseq"), number(packet, "ax25.ctl.n_s"));
  const std::string pid = report_value(r, "pid");
  // Wireshark shows no PID for a frame whose information field is empty.
  if (!packet.contains("ax25.pid") && report_value(r, "ilen") == "0") {
    ++tally.pid_unshown;
  } else {
    expect("PID", pid.empty() ? "" : std::to_string(std::stoul(pid, nullptr, 16)),
           number(packet, "ax25.pid"));
  }
  if (report_value(r, "l3Type") != "NetRom" || !packet.contains("netrom.src")) return;
  ++tally.netrom;
  expect("NET/ROM source", report_value(r, "l3src"), after_label(packet, "netrom.src"));
  expect("NET/ROM destination", report_value(r, "l3dst"), after_label(packet, "netrom.dst"));
  expect("TTL", report_value(r, "ttl"), number(packet, "netrom.ttl"));
  const auto opcode = OPCODES.find(report_value(r, "l4type"));
  if (opcode == OPCODES.end()) return;
  expect("opcode", std::to_string(opcode->second), number(packet, "netrom.op"));
  const std::string kind = opcode->first;
  const bool flags_reported = kind == "INFO" || kind == "INFO ACK";
  for (const auto& [key, field] :
       std::vector<std::pair<std::string, std::string>>{{"chokeFlag", "netrom.flag.choke"},
                                                        {"nakFlag", "netrom.flag.nak"},
                                                        {"moreFlag", "netrom.flag.more"}}) {
    const bool refusal_choke = kind == "CONN NAK" && key == "chokeFlag";
    if (!flags_reported && !refusal_choke) continue;
    const bool set = refusal_choke || report_value(r, key) == "true";
    expect(key, set ? "1" : "0", number(packet, field));
  }
}

TEST(KissTshark, EveryVectorFrameAgreesWithWiresharksDissectors) {
  if (run_process({"/bin/sh", "-c", "command -v tshark"}).status != 0) {
    GTEST_SKIP() << "tshark is not installed (Debian package tshark): no peer check";
  }
  std::vector<PeerFrame> frames;
  for (const std::string& name : vector_names()) {
    VectorCase vector;
    std::string error;
    ASSERT_TRUE(load_vector(name, vector, error)) << name << ": " << error;
    add_stream_frames(name, vector, frames);
  }
  std::ifstream monitor(std::string(PELLARIN_KISS_DIREWOLF) + "/ui-frames.txt");
  size_t line_number = 0;
  for (std::string line; std::getline(monitor, line);) {
    VectorCase vector;
    const std::vector<uint8_t> frame = monitor_frame(line);
    kiss::FrameDecoder decoder(vector.station);
    std::vector<std::string> notes;
    const kiss::KissFrame kiss_frame{0, std::span(frame).subspan(1)};
    frames.push_back({"ui-frames.txt line " + std::to_string(++line_number), frame,
                      decoder.decode(kiss_frame, VECTOR_START_TIME, notes).front()});
  }

  std::vector<kiss::PcapRecord> records;
  for (const PeerFrame& frame : frames) {
    records.push_back({VECTOR_START_TIME + static_cast<int64_t>(records.size()), 0, frame.record});
  }
  const std::string work = make_test_dir();
  const std::string pcap = work + "/frames.pcap";
  const std::vector<uint8_t> bytes = kiss::write_pcap(records);
  write_file(pcap, std::string(bytes.begin(), bytes.end()));
  const ProcessResult peer =
      run_process({"/usr/bin/env", "tshark", "-n", "-r", pcap, "-T", "pdml"}, 120000);
  unlink(pcap.c_str());
  rmdir(work.c_str());
  ASSERT_EQ(peer.status, 0) << peer.err;
  const std::vector<PeerPacket> packets = parse_pdml(peer.out);
  ASSERT_EQ(packets.size(), frames.size());

  Tally tally;
  std::vector<std::string> differences;
  for (size_t i = 0; i < frames.size(); ++i) compare(frames[i], packets[i], tally, differences);
  std::cout << "tshark peer check: " << frames.size() << " frames, " << tally.full
            << " compared in full (" << tally.netrom << " with NET/ROM headers), "
            << tally.modulo_128
            << " of modulo-128 links by address only (Wireshark reads every control field as "
               "modulo 8), "
            << tally.undecodable
            << " cut short before their control field for one side or both (by address where "
               "both read one); "
            << tally.pid_unshown << " PIDs not compared (no PID shown without information)\n";
  std::string all;
  for (const std::string& difference : differences) all += difference + "\n";
  EXPECT_TRUE(differences.empty()) << all;
  EXPECT_GT(tally.netrom, 0U);
}

}  // namespace
