// The pieces of pellarin-kiss one by one: value cleaning, the report size
// bound, the link table, the compressed INFO table, KISS unframing and pcap
// files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "kiss/ax25.h"
#include "kiss/compressed_info.h"
#include "kiss/pcap.h"
#include "kiss/report.h"
#include "kiss/unframer.h"
#include "tests/support/strict_json.h"

namespace {

TEST(KissCleaning, EveryByteMapsToOneSafeCharacter) {
  struct Case {
    uint8_t byte;
    char shown;
  };
  const Case cases[] = {{'"', '\''}, {'\\', '/'}, {'\r', ' '}, {'\n', ' '}, {'\t', ' '},
                        {0x00, '.'}, {0x1B, '.'}, {0x7F, '.'}, {0x80, '.'}, {0xFF, '.'},
                        {'A', 'A'},  {'~', '~'},  {'{', '{'},  {':', ':'}};
  for (const Case& c : cases) {
    const uint8_t byte = c.byte;
    EXPECT_EQ(kiss::clean_text(std::span<const uint8_t>(&byte, 1)), std::string(1, c.shown))
        << "byte " << int(c.byte);
  }
  std::vector<uint8_t> all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
  const std::string cleaned = kiss::clean_text(all);
  ASSERT_EQ(cleaned.size(), all.size());
  EXPECT_EQ(cleaned.find_first_of("\"\\"), std::string::npos);
  for (const char c : cleaned) EXPECT_TRUE(c >= 0x20 && c < 0x7F);
}

TEST(KissReport, LongTextIsCutToTheDatagramLimit) {
  kiss::FrameReport report;
  report.head().str("srce", "G4ABC").num("ilen", 4000);
  report.set_text("text", std::string(4000, 'x'));
  for (int i = 0; i < 8; ++i) report.add_digi("G4DIG-" + std::to_string(i + 1) + "*");
  uint64_t serial = 41;
  bool cut = false;
  const std::vector<std::string> reports = report.build(serial, cut);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(cut);
  EXPECT_EQ(serial, 42u);
  EXPECT_LE(reports[0].size(), kiss::MAX_REPORT);
  EXPECT_GT(reports[0].size(), kiss::MAX_REPORT - 30);
  EXPECT_TRUE(is_strict_json_object(reports[0]));
  // The digipeaters stay last, after the cut text.
  EXPECT_NE(reports[0].find("x\",\"digis\":[\"G4DIG-1*\""), std::string::npos);
}

TEST(KissReport, EntriesSpreadOverReportsKeepTheirOrderAndTheHead) {
  kiss::FrameReport report;
  report.head().str("l3Type", "Routing info").str("type", "INP3");
  report.set_entries_key("nodes");
  for (int i = 0; i < 200; ++i) {
    sim::JsonObject entry;
    entry.str("call", "G4N" + std::to_string(i)).num("hops", 1).num("tt", i);
    report.add_entry(entry);
  }
  uint64_t serial = 0;
  bool cut = false;
  const std::vector<std::string> reports = report.build(serial, cut);
  ASSERT_GT(reports.size(), 3u);
  EXPECT_EQ(serial, reports.size());
  int next = 0;
  for (size_t i = 0; i < reports.size(); ++i) {
    EXPECT_LE(reports[i].size(), kiss::MAX_REPORT);
    EXPECT_TRUE(is_strict_json_object(reports[i]));
    EXPECT_NE(reports[i].find("\"type\":\"INP3\""), std::string::npos);
    const std::string part =
        "\"part\":\"" + std::to_string(i + 1) + "/" + std::to_string(reports.size()) + "\"";
    EXPECT_NE(reports[i].find(part), std::string::npos) << reports[i];
    for (size_t at = reports[i].find("\"G4N"); at != std::string::npos;
         at = reports[i].find("\"G4N", at + 1)) {
      EXPECT_EQ(reports[i].substr(at, 4 + std::to_string(next).size() + 1),
                "\"G4N" + std::to_string(next) + "\"");
      ++next;
    }
  }
  EXPECT_EQ(next, 200);
}

TEST(KissLinks, SabmeSetsAndSabmDiscDmClear) {
  kiss::LinkTable links;
  const kiss::LinkKey key = kiss::link_key(1, "G4XYZ", "G4ABC");
  EXPECT_EQ(key, kiss::link_key(1, "G4ABC", "G4XYZ"));
  EXPECT_FALSE(links.extended(key, 100));
  links.set_extended(key, 100);
  EXPECT_TRUE(links.extended(key, 101));
  EXPECT_FALSE(links.extended(kiss::link_key(2, "G4ABC", "G4XYZ"), 101)) << "other KISS port";
  links.clear(key);
  EXPECT_FALSE(links.extended(key, 102));
}

TEST(KissLinks, IdleLinksAgeOutAndTheTableStaysBounded) {
  kiss::LinkTable links;
  const kiss::LinkKey key = kiss::link_key(0, "G4ABC", "G4XYZ");
  links.set_extended(key, 1000);
  EXPECT_TRUE(links.extended(key, 1000 + kiss::LINK_IDLE_LIMIT)) << "heard again: kept alive";
  EXPECT_FALSE(links.extended(key, 1001 + 2 * kiss::LINK_IDLE_LIMIT));

  for (size_t i = 0; i < kiss::MAX_LINKS + 10; ++i) {
    links.set_extended(kiss::link_key(0, "G4ABC", "M0P" + std::to_string(i)),
                       5000 + static_cast<int64_t>(i));
  }
  EXPECT_EQ(links.size(), kiss::MAX_LINKS);
  EXPECT_FALSE(links.extended(kiss::link_key(0, "G4ABC", "M0P0"), 6000)) << "oldest made room";
  EXPECT_TRUE(links.extended(kiss::link_key(0, "G4ABC", "M0P265"), 6000));
}

// A zlib stream of `size` bytes that do not compress.
std::vector<uint8_t> deflated_noise(size_t size) {
  std::vector<uint8_t> plain(size);
  uint32_t state = 1;
  for (uint8_t& byte : plain)
    byte = static_cast<uint8_t>((state = state * 1103515245 + 12345) >> 24);
  uLongf length = compressBound(static_cast<uLong>(size));
  std::vector<uint8_t> block(length);
  compress(block.data(), &length, plain.data(), static_cast<uLong>(size));
  block.resize(length);
  return block;
}

TEST(KissCompressedInfo, BlocksInflateToTheLimitAndNoFurther) {
  EXPECT_TRUE(kiss::inflate_block(deflated_noise(kiss::MAX_INFLATED)).inflated);
  const kiss::InflateOutcome over = kiss::inflate_block(deflated_noise(kiss::MAX_INFLATED + 1));
  EXPECT_FALSE(over.inflated);
  EXPECT_EQ(over.fault, "inflates to more than 8192 bytes");
  std::vector<uint8_t> cut = deflated_noise(100);
  cut.resize(cut.size() - 10);
  EXPECT_EQ(kiss::inflate_block(cut).fault, "stream cut short");
  EXPECT_FALSE(kiss::inflate_block({}).inflated);
}

TEST(KissCompressedInfo, PiecesJoinInSequenceAndTheTableStaysBounded) {
  kiss::CompressedInfoTable table;
  std::vector<std::string> notes;
  const kiss::CircuitKey key{0, "G4ABC", "G4XYZ", "0C0D"};
  const std::vector<uint8_t> block = deflated_noise(300);
  const auto first = std::span(block).first(100);
  const auto rest = std::span(block).subspan(100);
  EXPECT_EQ(table.add(key, {1, first, false}, 1000, notes).pieces, 1U);
  EXPECT_EQ(table.add(key, {1, first, false}, 1001, notes).pieces, 1U) << "a repeat";
  const auto joined = table.add(key, {2, rest, true}, 1002, notes);
  ASSERT_TRUE(joined.complete);
  EXPECT_EQ(joined.block, block);
  EXPECT_EQ(table.size(), 0U);

  table.add(key, {5, first, false}, 2000, notes);
  EXPECT_EQ(table.add(key, {7, rest, true}, 2001, notes).pieces, 1U) << "S6 lost: S5 dropped";
  table.add(key, {5, first, false}, 3000, notes);
  EXPECT_EQ(table.add(key, {6, rest, true}, 3001 + kiss::PIECES_IDLE_LIMIT, notes).pieces, 1U)
      << "aged out";

  for (size_t i = 0; i < kiss::MAX_CIRCUITS + 5; ++i) {
    table.add({0, "G4ABC", "G4XYZ", std::to_string(i)}, {0, first, false},
              4000 + static_cast<int64_t>(i), notes);
  }
  EXPECT_EQ(table.size(), kiss::MAX_CIRCUITS);
  const std::vector<uint8_t> big(kiss::MAX_COMPRESSED + 1, 0);
  EXPECT_EQ(table.add(key, {0, big, false}, 4100, notes).fault, "block longer than 8448 bytes");
  // The repeat, the lost piece, the idle block and six that made room.
  EXPECT_EQ(notes.size(), 9U);
}

struct Collected {
  std::vector<std::pair<int, std::vector<uint8_t>>> frames;
  std::vector<std::string> notes;
};

Collected unframe(const std::vector<uint8_t>& stream, size_t chunk) {
  Collected out;
  kiss::Unframer unframer(
      [&](const kiss::KissFrame& f) {
        out.frames.emplace_back(f.port, std::vector<uint8_t>(f.ax25.begin(), f.ax25.end()));
      },
      [&](const std::string& note) { out.notes.push_back(note); });
  for (size_t at = 0; at < stream.size(); at += chunk) {
    unframer.feed(std::span(stream).subspan(at, std::min(chunk, stream.size() - at)));
  }
  return out;
}

TEST(KissUnframer, EscapesSplitAnywhereInTheStream) {
  const std::vector<uint8_t> stream = {0xC0, 0x50, 0x01, 0xDB, 0xDC, 0x02, 0xDB,
                                       0xDD, 0xC0, 0xC0, 0x00, 0x07, 0xC0};
  for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
    const Collected out = unframe(stream, chunk);
    ASSERT_EQ(out.frames.size(), 2u) << "chunk " << chunk;
    EXPECT_EQ(out.frames[0].first, 5);
    EXPECT_EQ(out.frames[0].second, (std::vector<uint8_t>{0x01, 0xC0, 0x02, 0xDB}));
    EXPECT_EQ(out.frames[1].first, 0);
    EXPECT_EQ(out.frames[1].second, (std::vector<uint8_t>{0x07}));
  }
}

TEST(KissUnframer, OverlongFrameIsDroppedAndTheNextOneRead) {
  // Sized first, then filled: GCC 12 at -O3 takes inserts after a list
  // initialiser for writes out of bounds (an -Warray-bounds false positive).
  constexpr uint8_t START[] = {0xC0, 0x00};
  constexpr uint8_t NEXT_FRAME[] = {0xC0, 0x10, 0x42, 0xC0};
  std::vector<uint8_t> stream(std::size(START) + kiss::MAX_KISS_FRAME + 5 + std::size(NEXT_FRAME),
                              0x41);
  std::copy(std::begin(START), std::end(START), stream.begin());
  std::copy(std::begin(NEXT_FRAME), std::end(NEXT_FRAME), stream.end() - std::size(NEXT_FRAME));
  const Collected out = unframe(stream, 100);
  ASSERT_EQ(out.frames.size(), 1u);
  EXPECT_EQ(out.frames[0].first, 1);
  EXPECT_EQ(out.notes.size(), 1u);
}

TEST(KissPcap, RecordsSurviveTheFileFormInBothByteOrders) {
  const std::vector<kiss::PcapRecord> records = {{1765024496, 250000, {0x00, 0x96, 0x68}},
                                                 {1765024497, 0, {0x10}}};
  std::vector<uint8_t> file = kiss::write_pcap(records);
  std::vector<kiss::PcapRecord> read;
  std::string error;
  ASSERT_TRUE(kiss::parse_pcap(file, read, error)) << error;
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].seconds, 1765024496);
  EXPECT_EQ(read[0].micros, 250000);
  EXPECT_EQ(read[0].bytes, records[0].bytes);
  EXPECT_EQ(read[1].bytes, records[1].bytes);

  // The same file written big-endian.
  std::vector<uint8_t> swapped = file;
  auto swap32 = [&](size_t at) { std::reverse(swapped.begin() + at, swapped.begin() + at + 4); };
  for (size_t at = 0; at < 24; at += 4) {
    if (at != 4) swap32(at);
  }
  std::swap(swapped[4], swapped[5]);
  std::swap(swapped[6], swapped[7]);
  for (size_t at = 24; at < swapped.size();) {
    const size_t length = file[at + 8];
    for (size_t k = 0; k < 16; k += 4) swap32(at + k);
    at += 16 + length;
  }
  read.clear();
  ASSERT_TRUE(kiss::parse_pcap(swapped, read, error)) << error;
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].seconds, 1765024496);
  EXPECT_EQ(read[1].bytes, records[1].bytes);
}

TEST(KissPcap, WrongLinkTypeAndCutRecordsAreTold) {
  std::vector<uint8_t> file = kiss::write_pcap({{1, 0, {0x00, 0x01, 0x02, 0x03}}});
  std::vector<kiss::PcapRecord> read;
  std::string error;
  std::vector<uint8_t> ethernet = file;
  ethernet[20] = 1;
  EXPECT_FALSE(kiss::parse_pcap(ethernet, read, error));
  EXPECT_NE(error.find("link type 1"), std::string::npos);

  error.clear();
  file.pop_back();
  EXPECT_TRUE(kiss::parse_pcap(file, read, error));
  EXPECT_TRUE(read.empty());
  EXPECT_EQ(error, "last record cut short");
}

TEST(StrictJson, AcceptsJsonAndRejectsNearMisses) {
  EXPECT_TRUE(is_strict_json_object(R"({"a":[1,-2.5e+3,true,null,{"b":"\u00e9\n"}]})"));
  EXPECT_TRUE(is_strict_json_object(" {} "));
  for (const char* bad : {"{", "{\"a\":}", "{\"a\":1,}", "{\"a\":01}", "{\"a\":\"\x01\"}",
                          "{\"a\":\"\\x\"}", "[1]", "{} {}", "{\"a\":\"\xC3\"}", "{'a':1}"}) {
    EXPECT_FALSE(is_strict_json_object(bad)) << bad;
  }
}

}  // namespace
