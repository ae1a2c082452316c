// The traffic generator: a small, believable packet network around the node
// N0DE, played deterministically from a seed as trace report datagrams.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class JsonObject;

// splitmix64: small, fast, and the same on every platform, so a seed gives
// the same traffic everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next();
  // A number from 0 to n - 1 (n > 0).
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }

 private:
  uint64_t state_;
};

// Where report times come from: the seed and the simulated clock (the same
// datagrams byte for byte on every run), or this machine's clock, as a real
// node stamps what it sends.
enum class ReportClock { seeded, wall };

class TrafficGenerator {
 public:
  // `step_ms`: simulated milliseconds between one datagram and the next.
  TrafficGenerator(uint64_t seed, int64_t step_ms, ReportClock clock = ReportClock::seeded);

  // The next datagram: one or more complete report objects, back to back,
  // at most 1500 bytes.
  std::string next_datagram();

  // Simulated milliseconds from the start to the datagram last returned.
  int64_t elapsed_ms() const { return elapsed_ms_ - step_ms_; }

  struct Link {
    bool up = false;
    bool outgoing = true;
    int id = 0;
    int vs = 0;  // AX.25 send and receive state, modulo 8
    int vr = 0;
    int64_t up_since = 0;
    int64_t frames_sent = 0;
    int64_t frames_resent = 0;
    int64_t frames_rcvd = 0;
    int64_t bytes_sent = 0;
    int64_t bytes_rcvd = 0;
  };

  struct Circuit {
    int neighbour = 0;
    int user = 0;
    int remote_user = 0;
    bool outgoing = true;
    int id = 0;
    std::string my_cct;
    std::string their_cct;
    int tx = 0;  // NET/ROM transport sequence numbers, modulo 256
    int rx = 0;
    int64_t up_since = 0;
    int64_t segs_sent = 0;
    int64_t segs_resent = 0;
    int64_t segs_rcvd = 0;
    int64_t bytes_sent = 0;
    int64_t bytes_rcvd = 0;
  };

 private:
  // A NET/ROM I frame on the link to a neighbour, for `netrom_frame`.
  struct NetRomFrame {
    int neighbour;
    bool sent;
    int64_t ilen;
    std::string_view l3_type = "NetRom";  // "Routing info": no network header
    std::string_view l3dst = {};          // empty: the other end of the link
    int ttl = 25;
    bool poll = false;
  };

  // One kind of event of the network: its name, how often it is drawn after
  // the opening (0: only in the opening), and what it plays.
  struct EventKind {
    std::string_view name;
    int weight;
    void (*play)(TrafficGenerator& generator);
  };
  static const EventKind EVENT_KINDS[];

  int64_t now() const;
  const EventKind& pick_event();
  int up_link();
  void queue(std::string object);
  JsonObject netrom_frame(const NetRomFrame& frame);

  void node_report(std::string_view type, std::string_view reason);
  void link_up(int neighbour);
  void link_report(std::string_view type, int neighbour, std::string_view reason);
  void circuit_report(std::string_view type, const Circuit& circuit, std::string_view reason);
  void nodes_broadcast();
  void link_up_any();
  void new_circuit();
  void connect();
  void info();
  void supervisory(std::string_view l2_type);
  void beacon();
  void inp3();
  void l3rtt();
  void poll();
  void ip();
  void arp();
  void l3trace();
  void circuit_status();
  void disconnect_any();
  void disconnect(size_t index, std::string_view reason);
  void link_down();
  void node_restart();

  Rng rng_;
  ReportClock clock_;
  int64_t step_ms_;
  int64_t elapsed_ms_ = 0;
  int64_t start_time_;
  int64_t serial_;
  int64_t node_up_since_;
  int64_t l3_relayed_ = 0;
  int next_id_ = 1;
  size_t opening_position_ = 0;
  std::array<Link, 3> links_{};
  std::vector<Circuit> circuits_;
  std::deque<std::string> pending_;
};

}  // namespace sim
