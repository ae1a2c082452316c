// The heard file: the exact text of a small list, every field back as it
// was, the order kept, and each kind of fault refused with its line.
#include "heard/heard_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "tests/support/file_text.h"
#include "tests/support/test_environment.h"

namespace {

bool append(void* text, std::string_view piece) {
  static_cast<std::string*>(text)->append(piece);
  return true;
}

std::string written(const HeardTables& tables) {
  std::string text;
  EXPECT_TRUE(write_heard_file(tables, append, &text));
  return text;
}

// Reads the text as a file; the error, or "" when it was read.
std::string read_text(const std::string& text, HeardTables& tables) {
  const TestDir work;
  write_file(work / "heard.txt", text);
  std::FILE* in = std::fopen((work / "heard.txt").c_str(), "rb");
  std::string error;
  const bool read = read_heard_file(in, tables, error);
  std::fclose(in);
  EXPECT_EQ(read, error.empty());
  return error;
}

// Big: the tables are kept in static storage, as the client keeps its own.
HeardTables& scratch() {
  static HeardTables tables;
  return tables;
}

HeardTables& sample() {
  static HeardTables tables;
  tables.clear();
  tables.period = {1765003600, 1765090000, 4242};
  tables.stations.set_dropped(7);
  HeardStation station;
  station.port = 2;
  heard_set_text(station.call, "G4ABC-7");
  heard_set_text(station.last_dest, "");
  station.first = 1765003600;
  station.last = 1765003700;
  station.heard = 12;
  station.sent = 3;
  station.heard_i = 6;
  station.heard_s = 4;
  station.heard_u = 1;
  station.heard_ui = 1;
  station.info_bytes = 1500;
  station.protocols = PTCL_NETROM | PTCL_DATA;
  station.radio = HeardRadio::radio;
  tables.stations.restore(station);
  // A hostile call: a blank, a control, a backslash, a byte above ASCII.
  heard_set_text(station.call, "M0\x01 \\\xC3");
  heard_set_text(station.last_dest, "-");
  station.port = -1;
  station.first = -5;
  station.protocols = 0;
  station.radio = HeardRadio::unknown;
  tables.stations.restore(station);
  HeardLink link;
  link.port = 2;
  heard_set_text(link.call_a, "G4ABC-7");
  heard_set_text(link.call_b, "N0DE");
  link.modulus = 128;
  link.ups = 1;
  link.first = 1765003600;
  link.last = 1765003650;
  link.sides[0].i_frames = 9;
  link.sides[0].resent = 2;
  link.sides[1].rej = 1;
  link.sides[1].frmr = 18446744073709551615ULL;
  tables.links.restore(link);
  HeardRoute route;
  route.port = 2;
  heard_set_text(route.dest, "G4XYZ");
  heard_set_text(route.neighbour, "N0DE");
  heard_set_text(route.alias, "XYZBBS");
  route.source = RouteSource::inp3;
  route.hops = 31;
  route.trip_time = 60000;
  route.first = 1765003600;
  route.last = 1765003600;
  route.count = 2;
  route.change = RouteChange::withdrawn;
  tables.routes.restore(route);
  return tables;
}

constexpr char LINK_COLUMNS[] =
    "# link\tport\tcall_a\tcall_b\tfirst\tlast\tmodulus\tups\tdowns"
    "\tab_i\tab_i_bytes\tab_resent\tab_rr\tab_rnr\tab_rej\tab_srej\tab_sabm\tab_sabme\tab_ua"
    "\tab_disc\tab_dm\tab_frmr"
    "\tba_i\tba_i_bytes\tba_resent\tba_rr\tba_rnr\tba_rej\tba_srej\tba_sabm\tba_sabme\tba_ua"
    "\tba_disc\tba_dm\tba_frmr\n";

const std::string SAMPLE_TEXT =
    std::string("pellarin-heard\t1\n") +
    "# period\tfirst\tlast\tframes\tstations_dropped\tlinks_dropped\troutes_dropped\n"
    "period\t1765003600\t1765090000\t4242\t7\t0\t0\n"
    "# station\tport\tcall\tfirst\tlast\theard\tsent\theard_i\theard_s\theard_u\theard_ui"
    "\tinfo_bytes\tprotocols\tradio\tlast_dest\n"
    "station\t2\tG4ABC-7\t1765003600\t1765003700\t12\t3\t6\t4\t1\t1\t1500\tNET/ROM,DATA\tradio\t-\n"
    "station\t-1\tM0\\x01\\x20\\x5c\\xc3\t-5\t1765003700\t12\t3\t6\t4\t1\t1\t1500\t-\t-\t\\x2d\n" +
    LINK_COLUMNS +
    "link\t2\tG4ABC-7\tN0DE\t1765003600\t1765003650\t128\t1\t0"
    "\t9\t0\t2\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0"
    "\t0\t0\t0\t0\t0\t1\t0\t0\t0\t0\t0\t0\t18446744073709551615\n"
    "# route\tport\tdest\tneighbour\talias\tsource\tquality\tvia\thops\ttrip_time\tfirst\tlast"
    "\tcount\tchange\n"
    "route\t2\tG4XYZ\tN0DE\tXYZBBS\tinp3\t0\t-\t31\t60000\t1765003600\t1765003600\t2\twithdrawn\n"
    "end\t2\t1\t1\n";

TEST(HeardFile, WritesOneLineAnEntryWithItsColumns) {
  EXPECT_EQ(written(sample()), SAMPLE_TEXT);
}

TEST(HeardFile, ReadsBackEveryFieldInItsOrder) {
  HeardTables& tables = scratch();
  ASSERT_EQ(read_text(SAMPLE_TEXT, tables), "");
  EXPECT_EQ(written(tables), SAMPLE_TEXT);
  EXPECT_EQ(tables.stations.dropped(), 7U);
  // The least recently heard first, as they were.
  std::string calls;
  tables.stations.each(
      [&](const HeardStation& station) { calls += std::string(heard_text(station.call)) + ";"; });
  EXPECT_EQ(calls, "G4ABC-7;M0\x01 \\\xC3;");
  // A file edited on Windows, with comments and empty lines, reads alike.
  std::string edited = "# kept by hand\n\n";
  for (std::size_t at = 0, end; (end = SAMPLE_TEXT.find('\n', at)) != std::string::npos;
       at = end + 1)
    edited += SAMPLE_TEXT.substr(at, end - at) + "\r\n";
  edited.erase(0, edited.find("pellarin"));
  ASSERT_EQ(read_text(edited, tables), "");
  EXPECT_EQ(written(tables), SAMPLE_TEXT);
}

TEST(HeardFile, RefusesWhatAWriterWouldNotMake) {
  const std::string head = "pellarin-heard\t1\nperiod\t0\t0\t0\t0\t0\t0\n";
  const std::string station = "station\t1\tG4ABC\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\n";
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"", "an empty file"},
      {"pellarin-heard\t2\nend\t0\t0\t0\n", "line 1: version 2, not 1"},
      {"pellarin-heard\t1\x1b[2J\n", "line 1: another version, not 1"},
      {"call\tport\n", "line 1: not a heard file"},
      {head + station, "cut short: no end line"},
      {head + "station\t1\tG4ABC", "line 3: cut short: no line feed"},
      {head + "end\t0\t0\t0\n\n", "line 4: text after the end line"},
      {head + "end\t1\t0\t0\n", "line 3: counts that are not the entries'"},
      {"pellarin-heard\t1\nend\t0\t0\t0\n", "line 2: no period line"},
      {head + "period\t0\t0\t0\t0\t0\t0\n", "line 3: a second period line"},
      {head + "heard\tG4ABC\n", "line 3: an unknown kind of line"},
      {head + "station\t1\tG4ABC\n", "line 3: a missing field in column 'first'"},
      {head + "station\t1\tG4ABC\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\t9\n",
       "line 3: more fields than columns"},
      {head + "station\t+1\tG4ABC\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\n",
       "line 3: a bad number in column 'port'"},
      {head + "station\t1\tG4ABC\t0\t0\t-1\t0\t0\t0\t0\t0\t0\t-\t-\t-\n",
       "line 3: a bad number in column 'heard'"},
      {head + "station\t2147483648\tG4ABC\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\n",
       "line 3: a bad number in column 'port'"},
      {head + "station\t1\tG4 ABC\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\n",
       "line 3: a bad character in column 'call'"},
      {head + "station\t1\tG4\\x00\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\n",
       "line 3: a bad escape in column 'call'"},
      {head + "station\t1\tG4\\x4\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\n",
       "line 3: a bad escape in column 'call'"},
      {head + "station\t1\tG4ABCDEFGHIJKLMN\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\n",
       "line 3: too long a text in column 'call'"},
      {head + "station\t1\t\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\n",
       "line 3: an empty text in column 'call'"},
      {head + "station\t1\tG4ABC\t0\t0\t0\t0\t0\t0\t0\t0\t0\tIP,IP\t-\t-\n",
       "line 3: an unknown or repeated word in column 'protocols'"},
      {head + "station\t1\tG4ABC\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\tRF\t-\n",
       "line 3: an unknown word in column 'radio'"},
      {head + "link\t1\tA\tB\t0\t0\t16" + std::string(28, '\t') + "\n",
       "line 3: an unknown word in column 'modulus'"},
      {head + station + "station\t1\tg4abc\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t-\t-\n",
       "line 4: a second entry with the same key"},
      {head + std::string(HEARD_LINE_LIMIT, '#') + "\n", "line 3: a line too long"},
  };
  HeardTables& tables = scratch();
  for (const Case& bad : cases) {
    SCOPED_TRACE(bad.text);
    ASSERT_EQ(read_text(SAMPLE_TEXT, tables), "");
    EXPECT_EQ(read_text(bad.text, tables), bad.error);
    // Nothing of a refused file is kept.
    EXPECT_EQ(tables.stations.size() + tables.links.size() + tables.routes.size(), 0U);
  }
}

TEST(HeardFile, RefusesMoreEntriesThanATableHolds) {
  std::string text = "pellarin-heard\t1\nperiod\t0\t0\t0\t0\t0\t0\n";
  for (std::size_t route = 0; route <= ROUTE_CAPACITY; ++route)
    text += "route\t1\tD" + std::to_string(route) + "\tN0DE\t-\tnodes\t0\t-\t0\t0\t0\t0\t0\tnew\n";
  text += "end\t0\t0\t" + std::to_string(ROUTE_CAPACITY + 1) + "\n";
  EXPECT_EQ(read_text(text, scratch()),
            "line " + std::to_string(ROUTE_CAPACITY + 3) + ": more entries than the table holds");
}

}  // namespace
