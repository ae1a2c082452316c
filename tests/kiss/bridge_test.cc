// pellarin-kiss as a program: frames from a pcap file, a KISS TCP port and a
// pseudo-terminal reach subscribers, and through pellarin become the traces
// of the byte vectors.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kiss/pcap.h"
#include "kiss/unframer.h"
#include "tests/kiss/vector_file.h"
#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

// The KISS bridge's group of this build tree's loopback addresses.
constexpr int KISS_ADDRESS_GROUP = 140;

void sleep_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

sockaddr_in socket_address(const std::string& address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  a.sin_port = htons(port);
  return a;
}

// A subscriber of the bridge's trace service, as pellarin is one.
class Subscriber {
 public:
  Subscriber(const std::string& address, uint16_t node_port) : node_port_(node_port) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in local = socket_address(address, 0);
    bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    service_ = socket_address(address, 7373);
  }
  ~Subscriber() { close(fd_); }

  void subscribe() {
    const char request[2] = {static_cast<char>(node_port_ >> 8), static_cast<char>(node_port_)};
    sendto(fd_, request, 2, 0, reinterpret_cast<const sockaddr*>(&service_), sizeof service_);
  }

  // The next report, or "" after timeout_ms.
  std::string receive(int timeout_ms) {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, timeout_ms) <= 0) return "";
    char buffer[2048];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
  }

 private:
  int fd_ = -1;
  uint16_t node_port_;
  sockaddr_in service_{};
};

std::vector<uint8_t> kiss_frame(uint8_t port, const std::vector<uint8_t>& ax25) {
  std::vector<uint8_t> out = {kiss::FEND, static_cast<uint8_t>(port << 4)};
  for (const uint8_t b : ax25) {
    if (b == kiss::FEND) {
      out.insert(out.end(), {kiss::FESC, kiss::TFEND});
    } else if (b == kiss::FESC) {
      out.insert(out.end(), {kiss::FESC, kiss::TFESC});
    } else {
      out.push_back(b);
    }
  }
  out.push_back(kiss::FEND);
  return out;
}

// UI G4ABC>BEACON with text, hand-encoded (see the vectors for the layout).
std::vector<uint8_t> beacon(const std::string& text) {
  constexpr uint8_t HEADER[] = {0x84, 0x8A, 0x82, 0x86, 0x9E, 0x9C, 0xE0, 0x8E,
                                0x68, 0x82, 0x84, 0x86, 0x40, 0x61, 0x03, 0xF0};
  // Sized first, then filled: GCC 12 at -O3 takes an insert after a list
  // initialiser for a write out of bounds (an -Warray-bounds false positive).
  std::vector<uint8_t> f(std::size(HEADER) + text.size());
  std::copy(std::begin(HEADER), std::end(HEADER), f.begin());
  std::copy(text.begin(), text.end(), f.begin() + std::size(HEADER));
  return f;
}

// Subscribes until a report arrives; defined below.
std::string first_report(Subscriber& subscriber, int timeout_ms);

struct Workspace {
  std::string dir = make_test_dir();
  std::vector<std::string> files;
  std::string path(const std::string& name) {
    files.push_back(dir + "/" + name);
    return files.back();
  }
  ~Workspace() {
    for (const std::string& file : files) std::remove(file.c_str());
    rmdir(dir.c_str());
  }
};

TEST(KissBridge, PcapOfTheVectorsThroughPellarinGivesTheirTraces) {
  std::vector<kiss::PcapRecord> records;
  std::string expected;
  for (const std::string& name : vector_names()) {
    VectorCase vector;
    std::string error;
    ASSERT_TRUE(load_vector(name, vector, error)) << name << ": " << error;
    // The station's own settings are those of the command line below.
    if (!vector.station.own_calls.empty() || vector.station.port) continue;
    int64_t time = VECTOR_START_TIME;
    kiss::Unframer unframer(
        [&](const kiss::KissFrame& frame) {
          kiss::PcapRecord record{time++, 0, {static_cast<uint8_t>(frame.port << 4)}};
          record.bytes.insert(record.bytes.end(), frame.ax25.begin(), frame.ax25.end());
          records.push_back(std::move(record));
        },
        [](const std::string&) {});
    unframer.feed(vector.stream);
    expected += vector.trace;
  }
  ASSERT_GT(records.size(), 50u);

  Workspace work;
  const std::string pcap = work.path("frames.pcap");
  const std::vector<uint8_t> bytes = kiss::write_pcap(records);
  std::ofstream(pcap, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const std::string address = test_address(KISS_ADDRESS_GROUP, 1);
  const pid_t bridge = spawn_process({PELLARIN_KISS_BINARY, "--pcap", pcap, "--bind", address,
                                      "--call", "N0DE", "--exit-when-done"},
                                     work.path("bridge.out"), work.path("bridge.err"));
  ASSERT_TRUE(wait_for_text(work.dir + "/bridge.err", "waiting for a subscriber", 5000))
      << read_file(work.dir + "/bridge.err");
  const pid_t client =
      spawn_process({PELLARIN_BINARY, "0", address, "-c", "-s", "-W"}, work.path("client.out"),
                    work.path("client.err"), {"TZ=UTC", "LC_ALL=C"});
  EXPECT_EQ(wait_process(bridge, 20000), 0) << read_file(work.dir + "/bridge.err");
  std::string shown;
  for (int waited = 0; waited < 10000; waited += 100) {
    shown = read_file(work.dir + "/client.out");
    if (shown.ends_with(expected)) break;
    sleep_ms(100);
  }
  stop_process(client, SIGTERM);
  ASSERT_GE(shown.size(), expected.size());
  EXPECT_EQ(shown.substr(shown.size() - expected.size()), expected);
  EXPECT_EQ(shown.substr(0, shown.size() - expected.size()).find("G4ABC"), std::string::npos);
}

TEST(KissBridge, PcapAtTheRecordedPaceWaitsForTheFirstSubscriber) {
  Workspace work;
  const std::string pcap = work.path("paced.pcap");
  std::vector<kiss::PcapRecord> records = {{1765024496, 900000, {0x00}},
                                           {1765024498, 100000, {0x00}}};
  for (kiss::PcapRecord& record : records) {
    const std::vector<uint8_t> frame = beacon("paced");
    record.bytes.insert(record.bytes.end(), frame.begin(), frame.end());
  }
  const std::vector<uint8_t> bytes = kiss::write_pcap(records);
  std::ofstream(pcap, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const std::string address = test_address(KISS_ADDRESS_GROUP, 4);
  const std::string err = work.path("bridge.err");
  const pid_t bridge = spawn_process({PELLARIN_KISS_BINARY, "--pcap", pcap, "--bind", address,
                                      "--pace", "recorded", "--exit-when-done"},
                                     work.path("bridge.out"), err);
  ASSERT_TRUE(wait_for_text(err, "waiting for a subscriber", 5000)) << read_file(err);
  sleep_ms(500);
  EXPECT_EQ(wait_process(bridge, 0), -1000) << "the frames wait for a subscriber";
  Subscriber subscriber(address, 0);
  const std::string first = first_report(subscriber, 3000);
  const auto first_seen = std::chrono::steady_clock::now();
  const std::string second = subscriber.receive(5000);
  const double gap =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - first_seen).count();
  EXPECT_NE(first.find("\"time\":1765024496,"), std::string::npos) << first;
  EXPECT_NE(second.find("\"time\":1765024498,"), std::string::npos) << second;
  // 1.2 s apart in the file; the bound below leaves room for a busy machine.
  EXPECT_GT(gap, 1.0);
  EXPECT_EQ(wait_process(bridge, 5000), 0) << read_file(err);
}

// A free TCP port on the address, found by binding port 0.
uint16_t free_tcp_port(const std::string& address) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = socket_address(address, 0);
  bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  socklen_t size = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  close(fd);
  return ntohs(a.sin_port);
}

int listen_tcp(const std::string& address, uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  const sockaddr_in a = socket_address(address, port);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(fd, 1) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int accept_within(int listener, int timeout_ms) {
  pollfd entry{listener, POLLIN, 0};
  if (poll(&entry, 1, timeout_ms) <= 0) return -1;
  return accept(listener, nullptr, nullptr);
}

// Subscribes until a report arrives; the service may not be up yet.
std::string first_report(Subscriber& subscriber, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 200) {
    subscriber.subscribe();
    const std::string report = subscriber.receive(200);
    if (!report.empty()) return report;
  }
  return "";
}

void send_all(int fd, const std::vector<uint8_t>& bytes) {
  ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

TEST(KissBridge, TcpSourceReconnectsWithAGrowingPause) {
  Workspace work;
  const std::string address = test_address(KISS_ADDRESS_GROUP, 2);
  const uint16_t port = free_tcp_port(address);
  ASSERT_NE(port, 0);
  const std::string err = work.path("bridge.err");
  const pid_t bridge = spawn_process(
      {PELLARIN_KISS_BINARY, "--kiss-tcp", address + ":" + std::to_string(port), "--bind", address,
       "--call", "N0DE", "--port", "4", "--rf", "false", "--own", "g4abc"},
      work.path("bridge.out"), err);
  // Nobody listens yet: the pause doubles.
  EXPECT_TRUE(wait_for_text(err, "trying again in 1 s", 5000)) << read_file(err);
  EXPECT_TRUE(wait_for_text(err, "trying again in 2 s", 5000)) << read_file(err);
  const int listener = listen_tcp(address, port);
  ASSERT_GE(listener, 0);
  int tnc = accept_within(listener, 6000);
  ASSERT_GE(tnc, 0) << read_file(err);

  Subscriber subscriber(address, 0);
  send_all(tnc, kiss_frame(0, beacon("one")));
  std::string report = first_report(subscriber, 3000);
  if (report.empty()) {
    send_all(tnc, kiss_frame(0, beacon("one")));
    report = subscriber.receive(2000);
  }
  EXPECT_NE(report.find("\"port\":\"4\",\"isRF\":false,\"dirn\":\"sent\""), std::string::npos)
      << report;
  EXPECT_NE(report.find("\"text\":\"one\""), std::string::npos) << report;

  // The TNC goes away and comes back: a made connection starts the pause
  // again from one second.
  close(tnc);
  EXPECT_TRUE(wait_for_text(err, "KISS source closed; trying again in 1 s", 5000))
      << read_file(err);
  tnc = accept_within(listener, 5000);
  ASSERT_GE(tnc, 0) << read_file(err);
  send_all(tnc, kiss_frame(0, beacon("two")));
  std::string second;
  for (int i = 0; i < 5 && second.find("\"text\":\"two\"") == std::string::npos; ++i) {
    second = subscriber.receive(1000);
  }
  EXPECT_NE(second.find("\"text\":\"two\""), std::string::npos) << second;
  close(tnc);
  close(listener);
  EXPECT_EQ(stop_process(bridge, SIGTERM), 0) << read_file(err);
}

// "localhost" is a name from /etc/hosts, which the statically linked ARM
// build has to read without the target's name-service modules.
TEST(KissBridge, TcpSourceFindsTheTncByAHostNameFromEtcHosts) {
  Workspace work;
  const uint16_t port = free_tcp_port("127.0.0.1");
  const int listener = listen_tcp("127.0.0.1", port);
  ASSERT_GE(listener, 0);
  const std::string err = work.path("bridge.err");
  const pid_t bridge =
      spawn_process({PELLARIN_KISS_BINARY, "--kiss-tcp", "localhost:" + std::to_string(port),
                     "--bind", test_address(KISS_ADDRESS_GROUP, 5), "--call", "N0DE"},
                    work.path("bridge.out"), err);
  const int tnc = accept_within(listener, 10000);
  EXPECT_GE(tnc, 0) << read_file(err);
  if (tnc >= 0) close(tnc);
  close(listener);
  EXPECT_EQ(stop_process(bridge, SIGTERM), 0) << read_file(err);
}

TEST(KissBridge, SerialPseudoTerminalWithAPortFilteredSubscriber) {
  int master = -1;
  int slave = -1;
  char name[128] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) GTEST_SKIP() << "no pseudo-terminal";
  Workspace work;
  const std::string address = test_address(KISS_ADDRESS_GROUP, 3);
  const std::string err = work.path("bridge.err");
  const pid_t bridge = spawn_process({PELLARIN_KISS_BINARY, "--kiss-serial",
                                      std::string(name) + ":19200", "--bind", address, "-v"},
                                     work.path("bridge.out"), err);
  ASSERT_TRUE(wait_for_text(err, "reading " + std::string(name), 5000)) << read_file(err);
  Subscriber port_two(address, 2);
  Subscriber everything(address, 0);
  port_two.subscribe();
  everything.subscribe();
  sleep_ms(300);
  std::vector<uint8_t> stream = kiss_frame(1, beacon("on port one"));
  const std::vector<uint8_t> second = kiss_frame(2, beacon("on port two"));
  stream.insert(stream.end(), second.begin(), second.end());
  stream.insert(stream.end(), {kiss::FEND, 0x21, 0x05, kiss::FEND});  // persistence, ignored
  ASSERT_EQ(write(master, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));

  const std::string a = everything.receive(3000);
  const std::string b = everything.receive(3000);
  EXPECT_NE(a.find("\"port\":\"1\""), std::string::npos) << a;
  EXPECT_NE(b.find("\"port\":\"2\""), std::string::npos) << b;
  const std::string only = port_two.receive(3000);
  EXPECT_NE(only.find("\"text\":\"on port two\""), std::string::npos) << only;
  EXPECT_EQ(port_two.receive(300), "");
  EXPECT_TRUE(wait_for_text(err, "pellarin-kiss: KISS port 2: command 0x21 ignored", 3000))
      << read_file(err);
  EXPECT_EQ(stop_process(bridge, SIGTERM), 0);
  close(master);
  close(slave);
}

TEST(KissBridge, CommandLineFaultsAreUsageErrors) {
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"--pcap", "x", "--kiss-tcp", "127.16.0.1"},
        {"--kiss-serial", "/dev/null:1234"},
        {"--rf", "yes"},
        {"--port", "70000"},
        {"--pace", "recorded"},
        {"--frobnicate"}}) {
    std::vector<std::string> argv{PELLARIN_KISS_BINARY};
    argv.insert(argv.end(), words.begin(), words.end());
    const ProcessResult result = run_process(argv);
    EXPECT_EQ(result.status, 2) << words.front() << ": " << result.err;
    EXPECT_NE(result.err.find("pellarin-kiss: "), std::string::npos) << result.err;
  }
  const ProcessResult help = run_process({PELLARIN_KISS_BINARY, "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--kiss-serial DEVICE[:BAUD]"), std::string::npos);
}

}  // namespace
