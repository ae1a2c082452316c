// The heard tables as text: hostile calls through the sanitiser and each
// format's quoting, the sort orders and the tables asked for.
#include "heard/format.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/settings.h"
#include "heard/count.h"
#include "heard/heard.h"

namespace {

std::string written;

void keep(std::string_view text) {
  written += text;
}

class HeardFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = Settings{};
    written.clear();
  }

  void heard(const std::string& srce, std::int64_t time, const char* type = "UI", int port = 1) {
    const std::string report = R"("time":)" + std::to_string(time) + R"(,"port":")" +
                               std::to_string(port) + R"(","srce":")" + srce +
                               R"(","dest":"N0DE","l2Type":")" + type + R"(","dirn":"rcvd")";
    heard_count(*tables, report.c_str(), "L2Trace");
  }

  std::string write(HeardFormat format, unsigned which = HEARD_STATIONS) {
    settings.heard_format = format;
    written.clear();
    heard_write(*tables, which, keep);
    return written;
  }

  std::unique_ptr<HeardTables> tables = std::make_unique<HeardTables>();
};

struct HostileCase {
  HeardFormat format;
  const char* row;  // the station's row as written
};

TEST_F(HeardFormatTest, HostileCallsAreShownSafelyInEachFormat) {
  // ESC, the 8-bit CSI, a comma, a backslash, a lone Latin-1 byte and a
  // well-formed UTF-8 letter.
  heard("G4\x1b[2J\x9b,\\\xe9\xc3\xa9", 1765015943);
  const HostileCase cases[] = {
      {HeardFormat::table,
       "   1 G4.[2J.,\\\xe9\xc3\xa9 2025-12-06 10:12:23     0s 2025-12-06 10:12:23      1      0"
       "     0     0     0     1        0                         N0DE\n"},
      {HeardFormat::csv,
       "1,\"G4.[2J.,\\\xe9\xc3\xa9\",2025-12-06T10:12:23Z,1765015943,2025-12-06T10:12:23Z,"
       "1765015943,1,0,0,0,0,1,0,,,N0DE\n"},
      {HeardFormat::tsv,
       "1\tG4.[2J.,\\\xe9\xc3\xa9\t2025-12-06T10:12:23Z\t1765015943\t2025-12-06T10:12:23Z\t"
       "1765015943\t1\t0\t0\t0\t0\t1\t0\t\t\tN0DE\n"},
      {HeardFormat::json,
       "{\"port\":1,\"call\":\"G4.[2J.,\\\\\\u00e9\xc3\xa9\",\"last_utc\":\"2025-12-06T10:12:"
       "23Z\",\"last\":1765015943,\"first_utc\":\"2025-12-06T10:12:23Z\",\"first\":1765015943,"
       "\"heard\":1,\"sent\":0,\"i\":0,\"s\":0,\"u\":0,\"ui\":1,\"bytes\":0,\"rf\":\"\","
       "\"protocols\":\"\",\"last_to\":\"N0DE\"}]}"},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.format));
    const std::string text = write(c.format);
    EXPECT_NE(text.find(c.row), std::string::npos) << text;
    for (const char byte : text) {
      const auto value = static_cast<unsigned char>(byte);
      EXPECT_TRUE(value >= 0x20 || byte == '\n' || byte == '\t') << int{value};
      EXPECT_TRUE(value != 0x7F && value != 0x9B) << int{value};
    }
  }
}

TEST_F(HeardFormatTest, AgesOfTimesAtTheEndsOfTheirRangeAreHeldNotOverflowed) {
  heard("G4ABC", INT64_MIN);
  heard("G4XYZ", 1765015943);
  const std::string text = write(HeardFormat::table);
  EXPECT_NE(text.find("   1 G4ABC     (unknown time)      106751991167300d15h"), std::string::npos)
      << text;
}

TEST_F(HeardFormatTest, HeaderTellsPeriodDropsAndSystemDrops) {
  EXPECT_EQ(write(HeardFormat::table, HEARD_LINKS),
            "\nLinks heard on all ports: no frames, 0 of 1024 links kept, 0 dropped\n"
            "Port From      To             I    Bytes Resent    RR  RNR  REJ SREJ SABM SABME   UA"
            " DISC   DM FRMR Health Mod  Up Down Last heard             Age First heard\n");
  heard("G4ABC", 1765015943, "I");
  tables->links.set_dropped(3);
  tables->datagrams_dropped = 7;
  tables->dropped_known = true;
  settings.port_filter = 1;
  const std::string text = write(HeardFormat::table, HEARD_LINKS);
  EXPECT_TRUE(
      text.starts_with("\nLinks heard on port 1, 2025-12-06 10:12:23 to 2025-12-06 "
                       "10:12:23 UTC: 1 frame, 1 of 1024 links kept, 3 dropped, 7 "
                       "datagrams dropped by the system\n"))
      << text;
  // A link's second row leaves the link's own columns out.
  EXPECT_NE(text.find("\n     N0DE      G4ABC          0        0      0     0    0    0    0    0"
                      "     0    0    0    0    0\n"),
            std::string::npos)
      << text;
  EXPECT_NE(write(HeardFormat::csv).find(",1,1,1,0,1,3,0,0,7\n"), std::string::npos);
  EXPECT_NE(write(HeardFormat::json).find("\"frames\":1,\"port\":1,\"datagrams_dropped\":7}"),
            std::string::npos);
}

struct SortCase {
  HeardSort sort;
  const char* order;  // the calls' first letters, as listed
};

TEST_F(HeardFormatTest, SortOrders) {
  heard("B", 100, "I");  // first heard 100, last 400, 3 frames
  heard("c", 200);       // 200 .. 200, 1 frame
  heard("A", 300);       // 300 .. 300, 2 frames
  heard("A", 300);
  heard("B", 400);
  heard("B", 400);
  const SortCase cases[] = {
      {HeardSort::last, "BAc"},
      {HeardSort::first, "BcA"},
      {HeardSort::frames, "BAc"},
      {HeardSort::call, "ABc"},
  };
  for (const SortCase& c : cases) {
    SCOPED_TRACE(c.order);
    settings.heard_sort = c.sort;
    const std::string text = write(HeardFormat::tsv);
    std::string order;
    for (std::size_t at = text.find("\n1\t"); at != std::string::npos;
         at = text.find("\n1\t", at + 1))
      order += text[at + 3];
    EXPECT_EQ(order, c.order);
  }
}

TEST_F(HeardFormatTest, TablesAskedFor) {
  heard("G4ABC", 1000);
  EXPECT_EQ(write(HeardFormat::json, HEARD_ROUTES),
            "{\"period\":{\"first_utc\":\"1970-01-01T00:16:40Z\",\"first\":1000,\"last_utc\":"
            "\"1970-01-01T00:16:40Z\",\"last\":1000,\"frames\":1,\"port\":0,"
            "\"datagrams_dropped\":null},\n"
            "\"routes\":{\"count\":0,\"capacity\":4096,\"dropped\":0,\"entries\":[]}}\n");
  const std::string all = write(HeardFormat::table, HEARD_ALL);
  EXPECT_NE(all.find("\nStations heard"), std::string::npos);
  EXPECT_NE(all.find("\nLinks heard"), std::string::npos);
  EXPECT_NE(all.find("\nRoutes heard"), std::string::npos);
}

}  // namespace
