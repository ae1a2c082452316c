// pellarin-sim end to end on loopback: replay, the port filter, record and
// generate, driven through the real program and real UDP sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "intake/datagram.h"
#include "sim/datagram_list.h"
#include "sim/objects.h"
#include "tests/support/launcher.h"
#include "tests/support/test_environment.h"

namespace sim {
namespace {

using namespace std::chrono_literals;

const std::string DATA = PELLARIN_SIM_TEST_DATA;

// The program under test, with its log read from a pipe as it is written.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args, const std::string& input = {}) {
    int log_pipe[2];
    int input_pipe[2];
    if (pipe(log_pipe) != 0 || pipe(input_pipe) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(input_pipe[0], 0);
      dup2(log_pipe[1], 2);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      close(log_pipe[0]);
      close(input_pipe[1]);
      std::vector<std::string> command{PELLARIN_SIM_BINARY};
      command.insert(command.end(), args.begin(), args.end());
      command = with_launcher(command);
      std::vector<char*> argv;
      for (std::string& arg : command) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(log_pipe[1]);
    close(input_pipe[0]);
    log_fd_ = log_pipe[0];
    fcntl(log_fd_, F_SETFL, O_NONBLOCK);
    if (!input.empty()) {
      EXPECT_EQ(write(input_pipe[1], input.data(), input.size()),
                static_cast<ssize_t>(input.size()));
    }
    close(input_pipe[1]);
  }

  ~SimProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (log_fd_ >= 0) close(log_fd_);
  }

  // Reads the log until a line holds `text`; false after `timeout`.
  bool wait_for_log(const std::string& text, std::chrono::milliseconds timeout = 10s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (log_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !read_log(static_cast<int>(left.count()))) return false;
    }
    return true;
  }

  // Waits for the program to end by itself; its exit status, or -1.
  int wait_exit(std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        while (read_log(0)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      read_log(20);
    }
    return -1;
  }

  int stop() {
    kill(pid_, SIGTERM);
    return wait_exit();
  }

  const std::string& log() const { return log_; }

 private:
  bool read_log(int timeout_ms) {
    pollfd entry{log_fd_, POLLIN, 0};
    if (poll(&entry, 1, timeout_ms) <= 0) return false;
    std::array<char, 4096> chunk{};
    const ssize_t n = read(log_fd_, chunk.data(), chunk.size());
    if (n <= 0) return false;
    log_.append(chunk.data(), static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int log_fd_ = -1;
  bool exited_ = false;
  std::string log_;
};

// A client's UDP socket on its own loopback address.
class TestSocket {
 public:
  explicit TestSocket(const std::string& address) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    socklen_t size = sizeof local;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size);
    port_ = ntohs(local.sin_port);
  }
  ~TestSocket() { close(fd_); }

  void send_to(const std::string& address, const std::string& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(7373);
    inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    EXPECT_EQ(
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        static_cast<ssize_t>(bytes.size()));
  }

  void subscribe(const std::string& address, int port) {
    send_to(address, std::string{static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)});
  }

  std::optional<std::string> receive(std::chrono::milliseconds timeout) {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
    std::array<char, 65536> buffer{};
    const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer.data(), static_cast<size_t>(n));
  }

  // Everything that arrives until nothing more comes for a while.
  std::vector<std::string> drain(std::chrono::milliseconds quiet = 300ms) {
    std::vector<std::string> got;
    while (const auto datagram = receive(quiet)) got.push_back(*datagram);
    return got;
  }

  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

std::vector<std::string> datagrams_of(const std::string& path) {
  std::vector<Datagram> records;
  std::string error;
  EXPECT_TRUE(load_datagram_file(path, records, error)) << error;
  std::vector<std::string> bytes;
  for (const Datagram& record : records) bytes.push_back(record.bytes);
  return bytes;
}

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(SimProcessTest, ReplaySendsEveryDatagramOfTheFileByteForByte) {
  const std::string file = DATA + "/mixed.dgrams";
  const std::vector<std::string> expected = datagrams_of(file);
  ASSERT_EQ(expected.size(), 10u);
  struct Case {
    std::string address;
    std::string file_argument;
    std::string input;
  };
  const Case cases[] = {
      {test_address(120, 1), file, ""},
      {test_address(120, 2), "-", file_text(file)},
  };
  for (const Case& c : cases) {
    SimProcess sim({"replay", c.file_argument, "--bind", c.address, "--pace", "fast",
                    "--exit-when-done", "--start-delay", "300"},
                   c.input);
    ASSERT_TRUE(sim.wait_for_log("listening on")) << sim.log();
    TestSocket client(c.address);
    client.subscribe(c.address, 0);
    client.send_to(c.address, "hello");
    client.subscribe(c.address, 0);
    ASSERT_EQ(sim.wait_exit(), 0) << sim.log();
    EXPECT_EQ(client.drain(), expected) << c.file_argument;
    const std::string who = c.address + ":" + std::to_string(client.port());
    EXPECT_NE(sim.log().find("pellarin-sim: subscribed " + who + " port 0 (bytes 00 00)\n"),
              std::string::npos)
        << sim.log();
    EXPECT_NE(sim.log().find("pellarin-sim: ignored 5-byte datagram from " + who + "\n"),
              std::string::npos)
        << sim.log();
    EXPECT_NE(sim.log().find("pellarin-sim: renewed " + who + " port 0 (bytes 00 00)\n"),
              std::string::npos)
        << sim.log();
    EXPECT_NE(sim.log().find("pellarin-sim: sent 10 datagrams to 1 subscribers\n"),
              std::string::npos)
        << sim.log();
  }
}

TEST(SimProcessTest, EachSubscriberGetsOnlyTheReportsOfItsPort) {
  const std::string p3 =
      R"({"@type":"L2Trace","reportFrom":"N0DE","port":"3","srce":"G4ABC-1","dest":"G4XYZ-2","l2Type":"I"})";
  const std::string p4 =
      R"({"@type":"L2Trace","reportFrom":"N0DE","port":4,"srce":"M0PQR","dest":"ID","l2Type":"UI","text":"say \"hi}\" \\"})";
  const std::string node = R"({"@type":"NodeStatus","nodeCall":"N0DE","uptimeSecs":900})";
  const std::string packed_3 = R"({"@type":"L2Trace","port":"03","srce":"A"})";
  const std::string packed_4 = R"({"@type":"L2Trace","port":"4","srce":"B"})";
  const std::string link_4 = R"({"@type":"LinkUpEvent","node":"N0DE","port":"4"})";
  const std::string circuit =
      R"({"@type":"CircuitUpEvent","node":"N0DE","local":"A","remote":"B","direction":"outgoing"})";
  const std::string binary_3("{\"port\":\"3\"}\0\xff\r\n ", 17);
  const std::string noise = "noise without objects } {";
  const std::string long_3 =
      R"({"@type":"L2Trace","port":"3","text":")" + std::string(1460, 'x') + "\"}";
  const std::string nested = R"({"@type":"L2Trace","port":"4","node":{"port":"3"}})";
  const std::vector<std::string> all = datagrams_of(DATA + "/mixed.dgrams");

  struct Subscriber {
    std::string address;
    int port;
    std::vector<std::string> expected;
  };
  struct Case {
    std::string service;
    bool all_ports;
    std::vector<Subscriber> subscribers;
  };
  const std::vector<Case> cases = {
      {test_address(120, 3),
       false,
       {{test_address(120, 3), 3, {p3, node, packed_3, circuit, binary_3, "", noise, long_3}},
        {test_address(120, 4),
         4,
         {p4, node, packed_4, "[" + link_4 + "," + circuit + "]", "", noise, nested}},
        {test_address(120, 5), 0, all}}},
      {test_address(120, 6),
       true,
       {{test_address(120, 6), 3, all}, {test_address(120, 7), 4, all}}},
  };
  ASSERT_EQ(long_3.size(), 1500u);
  for (const Case& c : cases) {
    std::vector<std::string> args = {
        "replay", DATA + "/mixed.dgrams", "--bind", c.service,         "--rate",
        "0",      "--start-delay",        "500",    "--exit-when-done"};
    if (c.all_ports) args.push_back("--all-ports");
    SimProcess sim(args);
    ASSERT_TRUE(sim.wait_for_log("listening on")) << sim.log();
    std::vector<std::unique_ptr<TestSocket>> clients;
    for (const Subscriber& s : c.subscribers) {
      clients.push_back(std::make_unique<TestSocket>(s.address));
      clients.back()->subscribe(c.service, s.port);
    }
    ASSERT_EQ(sim.wait_exit(), 0) << sim.log();
    for (size_t i = 0; i < clients.size(); ++i) {
      EXPECT_EQ(clients[i]->drain(), c.subscribers[i].expected)
          << c.subscribers[i].address << " port " << c.subscribers[i].port;
    }
  }
}

TEST(SimProcessTest, ReplayRejectsAFaultyFileNamingTheLine) {
  const TestDir work;
  const std::string path = work / "faulty.dgrams";
  const std::string cases[] = {
      "# fine\nd {}\nd{}\n",
      "# fine\nd {}\nx " + std::string(3002, 'a') + "\n",
      "# fine\nd {}\nd " + std::string(1501, '{') + "\n",
  };
  for (const std::string& text : cases) {
    std::ofstream(path, std::ios::binary) << text;
    SimProcess sim({"replay", path, "--bind", test_address(120, 8)});
    EXPECT_EQ(sim.wait_exit(), 2) << sim.log();
    EXPECT_NE(sim.log().find("pellarin-sim: " + path + ":3: "), std::string::npos) << sim.log();
  }
}

TEST(SimProcessTest, RecordingAReplayGivesBackTheSameDatagrams) {
  const TestDir work;
  const std::string out = work / "recorded.dgrams";
  SimProcess sim({"replay", DATA + "/mixed.dgrams", "--bind", test_address(120, 9), "--rate", "50",
                  "--exit-when-done"});
  ASSERT_TRUE(sim.wait_for_log("listening on")) << sim.log();
  SimProcess recorder({"record", "--node", test_address(120, 9) + ":7373", "--out", out});
  ASSERT_EQ(sim.wait_exit(), 0) << sim.log();
  ASSERT_TRUE(
      recorder.wait_for_log("subscribed to " + test_address(120, 9) + ":7373 port 0 (bytes 00 00)"))
      << recorder.log();
  EXPECT_EQ(recorder.stop(), 0) << recorder.log();
  EXPECT_NE(recorder.log().find("recorded 10 datagrams"), std::string::npos) << recorder.log();
  EXPECT_EQ(datagrams_of(out), datagrams_of(DATA + "/mixed.dgrams"));
}

// "localhost" is a name from /etc/hosts, which the statically linked ARM
// build has to read without the target's name-service modules.
TEST(SimProcessTest, RecordFindsTheNodeByAHostNameFromEtcHosts) {
  const TestDir work;
  TestSocket node("127.0.0.1");
  SimProcess recorder({"record", "--node", "localhost:" + std::to_string(node.port()), "--out",
                       work / "recorded.dgrams"});
  const auto subscription = node.receive(std::chrono::milliseconds(scaled_ms(5000)));
  ASSERT_TRUE(subscription) << recorder.log();
  EXPECT_EQ(*subscription, std::string(2, '\0'));
  EXPECT_EQ(recorder.stop(), 0) << recorder.log();
}

// Runs python3 over the objects, one a line, and returns what it prints.
std::string run_python(const std::string& script, const std::string& input_path) {
  const std::string command = "/usr/bin/python3 -c '" + script + "' < " + input_path;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  std::string output;
  std::array<char, 4096> chunk{};
  size_t n = 0;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), n);
  const int status = pclose(pipe);
  if (status != 0) output += "\nexit status " + std::to_string(status);
  return output;
}

TEST(SimProcessTest, GenerateIsReproducibleCompleteAndValidJson) {
  const TestDir work;
  const std::string first = work / "gen1.dgrams";
  const std::string again = work / "gen2.dgrams";
  const std::string other = work / "gen3.dgrams";
  for (const auto& [path, seed] : {std::pair{first, "42"}, {again, "42"}, {other, "43"}}) {
    SimProcess sim({"generate", "--seed", seed, "--count", "400", "--write", path});
    ASSERT_EQ(sim.wait_exit(), 0) << sim.log();
  }
  EXPECT_EQ(file_text(first), file_text(again));
  EXPECT_NE(datagrams_of(first), datagrams_of(other));

  const std::vector<std::string> datagrams = datagrams_of(first);
  ASSERT_EQ(datagrams.size(), 400u);
  const std::string objects_path = work / "objects.txt";
  std::ofstream objects(objects_path, std::ios::binary);
  size_t packed = 0;
  for (const std::string& datagram : datagrams) {
    EXPECT_LE(datagram.size(), MAX_DATAGRAM);
    const std::vector<std::string> cut = report_texts(datagram);
    size_t covered = 0;
    for (const std::string& report : cut) {
      covered += report.size() + 2;
      objects << '{' << report << "}\n";
    }
    EXPECT_EQ(covered, datagram.size()) << datagram;
    if (cut.size() > 1) ++packed;
  }
  objects.close();
  EXPECT_GT(packed, 0u);

  // Every object must parse; the markers show which kinds of report came.
  if (access("/usr/bin/python3", X_OK) != 0)
    GTEST_SKIP() << "no /usr/bin/python3 to parse the JSON";
  const std::string script =
      "import json, sys\n"
      "seen = set()\n"
      "for line in sys.stdin.buffer:\n"
      "    o = json.loads(line.decode(\"utf-8\"))\n"
      "    seen.add(o[\"@type\"])\n"
      "    for k in (\"l2Type\", \"ptcl\", \"l3Type\", \"l4type\", \"type\", \"l3dst\"):\n"
      "        if k in o: seen.add(k + \"=\" + str(o[k]))\n"
      "    for e in o.get(\"nodes\", []):\n"
      "        seen.update(\"entry.\" + k for k in e)\n"
      "    seen.update(\"key.\" + k for k in o)\n"
      "print(\"\\n\".join(sorted(seen)))\n";
  const std::string output = run_python(script, objects_path);
  std::set<std::string> seen;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) seen.insert(line);
  const char* wanted[] = {
      "L2Trace",
      "L3Trace",
      "LinkStatus",
      "LinkUpEvent",
      "LinkDownEvent",
      "CircuitStatus",
      "CircuitUpEvent",
      "CircuitDownEvent",
      "NodeStatus",
      "NodeUpEvent",
      "NodeDownEvent",
      "l2Type=I",
      "l2Type=RR",
      "l2Type=RNR",
      "l2Type=REJ",
      "l2Type=UI",
      "ptcl=NET/ROM",
      "ptcl=DATA",
      "ptcl=IP",
      "ptcl=ARP",
      "l3Type=NetRom",
      "l3Type=Routing info",
      "l3Type=Routing poll",
      "l4type=INFO",
      "l4type=CONN REQ",
      "l4type=CONN ACK",
      "l4type=DREQ",
      "l4type=DACK",
      "type=NODES",
      "type=INP3",
      "l3dst=L3RTT",
      "entry.via",
      "entry.qual",
      "entry.latitude",
      "entry.longitude",
      "entry.software",
      "entry.version",
      "entry.isNode",
      "entry.timestamp",
      "entry.tzMins",
      "key.ipFrom",
      "key.arpOp",
      "key.srcUser",
      "key.chokeFlag",
      "key.fromAlias",
      "key.payload",
      "key.frmsQdPeak",
      "key.segsQueued",
      "key.l3Rlyd",
      "key.reason",
  };
  for (const char* marker : wanted) {
    EXPECT_TRUE(seen.count(marker)) << marker << " missing; python said:\n" << output;
  }
}

TEST(SimProcessTest, GenerateServesWhatItWrites) {
  const TestDir work;
  const std::string path = work / "served.dgrams";
  SimProcess writer({"generate", "--seed", "9", "--count", "25", "--write", path});
  ASSERT_EQ(writer.wait_exit(), 0) << writer.log();
  SimProcess sim({"generate", "--seed", "9", "--count", "25", "--rate", "0", "--seeded-times",
                  "--bind", test_address(120, 10)});
  ASSERT_TRUE(sim.wait_for_log("listening on")) << sim.log();
  TestSocket client(test_address(120, 10));
  client.subscribe(test_address(120, 10), 0);
  ASSERT_EQ(sim.wait_exit(), 0) << sim.log();
  EXPECT_EQ(client.drain(), datagrams_of(path));
  EXPECT_NE(sim.log().find("sent 25 datagrams to 1 subscribers"), std::string::npos) << sim.log();
}

}  // namespace
}  // namespace sim
