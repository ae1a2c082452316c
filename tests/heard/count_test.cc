// The counting rules of the heard tables: frame classes, resent I frames,
// link health, eviction, routes and what is not counted.
#include "heard/count.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"

namespace {

class HeardCountTest : public ::testing::Test {
 protected:
  void SetUp() override { settings = Settings{}; }

  // An L2Trace report's inner text; `extra` is appended as it is.
  static std::string frame(const char* srce, const char* dest, const char* type, const char* dirn,
                           int time = 1000, const std::string& extra = "", int port = 1) {
    std::ostringstream text;
    text << R"("@type":"L2Trace","reportFrom":"N0DE","time":)" << time << R"(,"port":")" << port
         << R"(","srce":")" << srce << R"(","dest":")" << dest << R"(","l2Type":")" << type
         << R"(","dirn":")" << dirn << '"' << extra;
    return text.str();
  }

  void count(const std::string& report) { heard_count(*tables, report.c_str(), "L2Trace"); }

  const HeardStation* station(const char* call, int port = 1) const {
    HeardStation probe;
    probe.port = port;
    heard_set_text(probe.call, call);
    return tables->stations.find(probe);
  }

  const HeardLink* link(const char* a, const char* b, int port = 1) const {
    HeardLink probe;
    probe.port = port;
    heard_set_text(probe.call_a, a);
    heard_set_text(probe.call_b, b);
    return tables->links.find(probe);
  }

  const HeardRoute* route(const char* dest, const char* neighbour, RouteSource source) const {
    HeardRoute probe;
    probe.port = 1;
    probe.source = source;
    heard_set_text(probe.dest, dest);
    heard_set_text(probe.neighbour, neighbour);
    return tables->routes.find(probe);
  }

  std::unique_ptr<HeardTables> tables = std::make_unique<HeardTables>();
};

struct ClassCase {
  const char* type;
  const char* dirn;
  // heard, sent, I, supervisory, unnumbered, UI
  std::uint64_t counts[6];
};

TEST_F(HeardCountTest, FrameClassesAndDirections) {
  const ClassCase cases[] = {
      {"I", "rcvd", {1, 0, 1, 0, 0, 0}},
      {"RR", "rcvd", {1, 0, 0, 1, 0, 0}},
      {"RNR", "rcvd", {1, 0, 0, 1, 0, 0}},
      {"REJ", "rcvd", {1, 0, 0, 1, 0, 0}},
      {"SREJ", "rcvd", {1, 0, 0, 1, 0, 0}},
      {"SABM", "rcvd", {1, 0, 0, 0, 1, 0}},
      {"UA", "rcvd", {1, 0, 0, 0, 1, 0}},
      {"FRMR", "rcvd", {1, 0, 0, 0, 1, 0}},
      {"XID", "rcvd", {1, 0, 0, 0, 1, 0}},
      {"UI", "rcvd", {1, 0, 0, 0, 0, 1}},
      {"ui", "rcvd", {1, 0, 0, 0, 0, 1}},
      {"I", "sent", {0, 1, 0, 0, 0, 0}},
      // No direction counts as heard.
      {"I", "", {1, 0, 1, 0, 0, 0}},
  };
  for (const ClassCase& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.dirn);
    tables->clear();
    const bool sent = c.dirn[0] == 's';
    count(frame(sent ? "N0DE" : "G4ABC", sent ? "G4ABC" : "N0DE", c.type, c.dirn));
    const HeardStation* s = station("G4ABC");
    ASSERT_NE(s, nullptr);
    const std::uint64_t got[6] = {s->heard,   s->sent,    s->heard_i,
                                  s->heard_s, s->heard_u, s->heard_ui};
    for (int at = 0; at < 6; ++at) EXPECT_EQ(got[at], c.counts[at]) << "count " << at;
    EXPECT_EQ(tables->period.frames, 1U);
  }
}

TEST_F(HeardCountTest, StationDetails) {
  count(frame("G4ABC-1", "N0DE", "I", "rcvd", 1000,
              R"(,"isRF":true,"ptcl":"NET/ROM","ilen":45,"tseq":0)"));
  count(frame("g4abc-1", "G4XYZ", "UI", "rcvd", 900, R"(,"isRF":false,"ptcl":"XYZZY","ilen":3)"));
  count(frame("N0DE", "G4ABC-1", "RR", "sent", 1100));
  // The node's UI frames go to addresses such as NODES, not to stations.
  count(frame("N0DE", "NODES", "UI", "sent", 1200));
  const HeardStation* s = station("G4ABC-1");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(heard_text(s->call), "G4ABC-1");  // as first heard
  EXPECT_EQ(s->heard, 2U);
  EXPECT_EQ(s->sent, 1U);
  EXPECT_EQ(s->info_bytes, 48U);
  EXPECT_EQ(s->protocols, PTCL_NETROM | PTCL_OTHER);
  EXPECT_EQ(s->radio, HeardRadio::wire);
  EXPECT_EQ(heard_text(s->last_dest), "G4XYZ");
  EXPECT_EQ(s->first, 900);
  EXPECT_EQ(s->last, 1100);
  EXPECT_EQ(station("NODES"), nullptr);
  EXPECT_EQ(tables->period.first, 900);
  EXPECT_EQ(tables->period.last, 1200);
  EXPECT_EQ(tables->period.frames, 4U);
}

TEST_F(HeardCountTest, PortFilterAndOtherReports) {
  settings.port_filter = 2;
  count(frame("G4ABC", "N0DE", "I", "rcvd", 1000, "", 1));
  count(frame("G4XYZ", "N0DE", "I", "rcvd", 1000, "", 2));
  heard_count(*tables, R"("@type":"L3Trace","port":"2","srce":"M0PQR","dest":"N0DE")", "L3Trace");
  // A frame report without one of its mandatory fields.
  heard_count(*tables, R"("port":"2","srce":"M0PQR","l2Type":"I")", "L2Trace");
  EXPECT_EQ(station("G4ABC"), nullptr);
  EXPECT_NE(station("G4XYZ", 2), nullptr);
  EXPECT_EQ(tables->stations.size(), 1U);
  EXPECT_EQ(tables->period.frames, 1U);
}

struct ResentCase {
  const char* sequence;  // N(S) of the I frames, in the order sent
  int modulus;
  const char* resent;  // 'r' for each one counted as sent again
};

TEST_F(HeardCountTest, ResentIFramesAcrossTheWrap) {
  const ResentCase cases[] = {
      {"0 1 2 1 2 3", 8, "...rr."},
      {"5 6 7 0 1 2", 8, "......"},
      {"6 7 0 6 7 0 1", 8, "...rrr."},
      {"7 0 7", 8, "..r"},
      // Heard from the link's middle: the first frame is new.
      {"4 5 6", 8, "..."},
      {"3 3 3", 8, ".rr"},
      {"126 127 0 1 127 0 1 2", 128, "....rrr."},
      {"10 11 10 12", 128, "..r."},
      // A number beyond the modulus is taken modulo it.
      {"7 8", 8, ".."},
  };
  for (const ResentCase& c : cases) {
    SCOPED_TRACE(c.sequence);
    HeardSequence sequence;
    std::istringstream numbers(c.sequence);
    std::string flags;
    for (int ns = 0; numbers >> ns;) flags += heard_is_resent(sequence, ns, c.modulus) ? 'r' : '.';
    EXPECT_EQ(flags, c.resent);
  }
}

struct LinkCase {
  const char* name;
  // Frames as "<from><type>[<ns>]" with from a (G4ABC) or b (N0DE).
  std::vector<std::string> frames;
  std::uint64_t resent_a;
  int modulus;
};

std::string i_frame(int ns, int nr = 0) {
  return R"(,"tseq":)" + std::to_string(ns) + R"(,"rseq":)" + std::to_string(nr);
}

TEST_F(HeardCountTest, LinkSequencesAndSetUp) {
  const LinkCase cases[] = {
      {"mod 8 resend", {"aI0", "aI1", "aI2", "aI1", "aI2", "aI3"}, 2, 8},
      // A link set up again numbers from 0 again.
      {"re-established", {"aI0", "aI1", "aSABM", "bUA", "aI0", "aI1"}, 0, 8},
      {"after DISC", {"aI0", "aI1", "aDISC", "aI0"}, 0, 8},
      // SABME or a number above 7 says modulo 128, and the count starts
      // again there.
      {"SABME", {"aSABME", "aI0", "aI1", "aI0"}, 1, 128},
      {"number above 7", {"aI6", "aI7", "aI9", "aI10", "aI9"}, 1, 128},
      // The other direction's numbers are its own.
      {"two directions", {"aI0", "bI0", "aI1", "bI1", "bI1"}, 0, 8},
      {"SABM after SABME", {"aSABME", "aI100", "aSABM", "aI0", "aI0"}, 1, 8},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.name);
    tables->clear();
    int time = 1000;
    for (const std::string& f : c.frames) {
      const bool from_a = f[0] == 'a';
      const std::size_t digits = f.find_first_of("0123456789");
      const std::string type =
          f.substr(1, digits == std::string::npos ? std::string::npos : digits - 1);
      const std::string extra =
          digits == std::string::npos ? "" : i_frame(std::stoi(f.substr(digits)));
      count(frame(from_a ? "G4ABC" : "N0DE", from_a ? "N0DE" : "G4ABC", type.c_str(),
                  from_a ? "rcvd" : "sent", time++, extra));
    }
    const HeardLink* l = link("N0DE", "g4abc");  // either order, either case
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(heard_text(l->call_a), "G4ABC");
    EXPECT_EQ(l->sides[0].resent, c.resent_a);
    EXPECT_EQ(l->modulus, c.modulus);
    EXPECT_EQ(l->first, 1000);
    EXPECT_EQ(l->last, time - 1);
  }
}

TEST_F(HeardCountTest, LinkCountsHealthAndReports) {
  const char* const types[] = {"I",    "I",  "I",    "I",  "RR",   "RNR", "REJ", "SREJ",
                               "SABM", "UA", "DISC", "DM", "FRMR", "UI",  "XID"};
  int ns = 0;
  for (const char* type : types) {
    const bool info = std::string(type) == "I";
    count(frame("G4ABC", "N0DE", type, "rcvd", 1000,
                info ? i_frame(ns == 3 ? 1 : ns) + R"(,"ilen":10)" : ""));
    if (info) ++ns;
  }
  count(frame("N0DE", "G4ABC", "RR", "sent"));
  const auto event = [&](const char* type, const char* port) {
    const std::string report = std::string(R"("@type":")") + type + R"(","time":1500,"port":")" +
                               port + R"(","node":"N0DE","local":"N0DE","remote":"G4ABC",)" +
                               R"("direction":"incoming")";
    heard_count(*tables, report.c_str(), type);
  };
  event("LinkUpEvent", "1");
  event("LinkDownEvent", "1");
  event("LinkStatus", "1");
  event("LinkUpEvent", "2");
  const HeardLink* l = link("G4ABC", "N0DE");
  ASSERT_NE(l, nullptr);
  const HeardLinkSide& a = l->sides[0];
  const std::uint64_t got[] = {a.i_frames, a.i_bytes, a.resent,       a.rr,   a.rnr,
                               a.rej,      a.srej,    a.sabm,         a.ua,   a.disc,
                               a.dm,       a.frmr,    l->sides[1].rr, l->ups, l->downs};
  const std::uint64_t want[] = {4, 40, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  for (std::size_t at = 0; at < std::size(want); ++at) EXPECT_EQ(got[at], want[at]) << at;
  EXPECT_EQ(l->last, 1500);
  // (1 REJ + 1 resent) of 4 I frames.
  EXPECT_EQ(heard_link_health(*l), 50);
  EXPECT_NE(link("G4ABC", "N0DE", 2), nullptr);
  EXPECT_EQ(tables->links.size(), 2U);
  HeardLink quiet;
  EXPECT_LT(heard_link_health(quiet), 0);
}

TEST_F(HeardCountTest, EvictionAtTheCapacity) {
  StationTable& stations = tables->stations;
  const auto probe = [](std::size_t n) {
    HeardStation s;
    s.port = 1;
    heard_set_text(s.call, "G" + std::to_string(n));
    return s;
  };
  bool made = false;
  for (std::size_t n = 0; n < STATION_CAPACITY; ++n) stations.touch(probe(n), made);
  EXPECT_EQ(stations.size(), STATION_CAPACITY);
  // Heard again: no longer the least recent.
  stations.touch(probe(0), made);
  EXPECT_FALSE(made);
  stations.touch(probe(STATION_CAPACITY), made);
  EXPECT_TRUE(made);
  EXPECT_EQ(stations.dropped(), 1U);
  EXPECT_NE(stations.find(probe(0)), nullptr);
  EXPECT_EQ(stations.find(probe(1)), nullptr);
  // A whole table's worth more: every entry is still found after the
  // index has lost thousands.
  for (std::size_t n = STATION_CAPACITY + 1; n < 3 * STATION_CAPACITY; ++n)
    stations.touch(probe(n), made);
  EXPECT_EQ(stations.size(), STATION_CAPACITY);
  EXPECT_EQ(stations.dropped(), 2 * STATION_CAPACITY);
  std::size_t found = 0;
  for (std::size_t n = 2 * STATION_CAPACITY; n < 3 * STATION_CAPACITY; ++n)
    found += stations.find(probe(n)) != nullptr ? 1 : 0;
  EXPECT_EQ(found, STATION_CAPACITY);
  // The walk goes least recently heard first.
  std::string oldest;
  stations.each([&](const HeardStation& s) {
    if (oldest.empty()) oldest = heard_text(s.call);
  });
  EXPECT_EQ(oldest, "G" + std::to_string(2 * STATION_CAPACITY));
}

TEST_F(HeardCountTest, RestorePutsEntriesBack) {
  HeardStation loaded;
  loaded.port = 3;
  heard_set_text(loaded.call, "M0PQR");
  loaded.heard = 41;
  tables->stations.restore(loaded);
  count(frame("m0pqr", "N0DE", "I", "rcvd", 1000, "", 3));
  ASSERT_NE(station("M0PQR", 3), nullptr);
  EXPECT_EQ(station("M0PQR", 3)->heard, 42U);
}

struct Advert {
  const char* entry;  // one entry of the "nodes" array
  RouteChange change;
};

std::string routing(const char* type, const std::string& entry, int time) {
  return std::string(R"(,"ptcl":"NET/ROM","l3Type":"Routing info","type":")") + type +
         R"(","fromAlias":"ABC","nodes":[)" + entry + R"(,{"call":"G4OTHR","qual":5,"tt":5}])" +
         R"(,"serial":)" + std::to_string(time);
}

TEST_F(HeardCountTest, RouteChangesAndWithdrawal) {
  struct Series {
    const char* type;
    RouteSource source;
    std::vector<Advert> adverts;
  };
  const Series series[] = {
      {"NODES",
       RouteSource::nodes,
       {{R"({"call":"G4XYZ-3","alias":"XYZBBS","via":"G4ABC","qual":100})", RouteChange::fresh},
        {R"({"call":"g4xyz-3","alias":"XYZBBS","qual":100})", RouteChange::same},
        {R"({"call":"G4XYZ-3","qual":150})", RouteChange::better},
        {R"({"call":"G4XYZ-3","qual":90})", RouteChange::worse},
        {R"({"call":"G4XYZ-3","qual":0})", RouteChange::withdrawn},
        {R"({"call":"G4XYZ-3","qual":20})", RouteChange::better}}},
      {"INP3",
       RouteSource::inp3,
       {{R"({"call":"G4XYZ-3","hops":3,"tt":500})", RouteChange::fresh},
        {R"({"call":"G4XYZ-3","hops":3,"tt":400})", RouteChange::better},
        {R"({"call":"G4XYZ-3","hops":4,"tt":400})", RouteChange::worse},
        {R"({"call":"G4XYZ-3","hops":4,"tt":60000})", RouteChange::withdrawn},
        {R"({"call":"G4XYZ-3","hops":2,"tt":300})", RouteChange::better},
        {R"({"call":"G4XYZ-3","hops":31,"tt":300})", RouteChange::withdrawn}}},
  };
  for (const Series& s : series) {
    SCOPED_TRACE(s.type);
    tables->clear();
    int time = 1000;
    for (const Advert& advert : s.adverts) {
      count(frame("G4ABC", "NODES", "UI", "rcvd", time, routing(s.type, advert.entry, time)));
      const HeardRoute* r = route("G4XYZ-3", "G4ABC", s.source);
      ASSERT_NE(r, nullptr) << advert.entry;
      EXPECT_EQ(r->change, advert.change) << advert.entry;
      EXPECT_EQ(r->last, time);
      ++time;
    }
    const HeardRoute* r = route("G4XYZ-3", "G4ABC", s.source);
    EXPECT_EQ(heard_text(r->dest), "G4XYZ-3");
    // An advertisement without an alias keeps the one known.
    EXPECT_EQ(heard_text(r->alias), s.type == std::string("NODES") ? "XYZBBS" : "");
    EXPECT_EQ(r->first, 1000);
    EXPECT_EQ(r->count, s.adverts.size());
    EXPECT_EQ(tables->routes.size(), 2U);
  }
  // The same destination from the same neighbour in both kinds: two routes.
  tables->clear();
  count(frame("G4ABC", "NODES", "UI", "rcvd", 1000,
              routing("NODES", R"({"call":"G4XYZ","qual":9})", 1000)));
  count(frame("G4ABC", "N0DE", "I", "rcvd", 1001,
              routing("INP3", R"({"call":"G4XYZ","hops":2,"tt":90})", 1001)));
  EXPECT_EQ(route("G4XYZ", "G4ABC", RouteSource::nodes)->change, RouteChange::fresh);
  EXPECT_EQ(route("G4XYZ", "G4ABC", RouteSource::inp3)->change, RouteChange::fresh);
  // The node's own broadcasts advertise no neighbour's routes.
  tables->clear();
  count(frame("N0DE", "NODES", "UI", "sent", 1000,
              routing("NODES", R"({"call":"G4XYZ","qual":9})", 1000)));
  EXPECT_EQ(tables->routes.size(), 0U);
}

}  // namespace
