// The client against pellarin-sim on loopback: subscription bytes, renewal,
// a node that restarts, and the capture file.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/launcher.h"
#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

const std::string PELLARIN = PELLARIN_BINARY;
const std::string SIM = PELLARIN_SIM_BINARY;

struct Running {
  pid_t pid;
  std::string out;
  std::string err;
};

Running start_sim(const std::string& dir, const std::string& name, const std::string& address,
                  const std::string& datagrams) {
  write_file(dir + "/" + name + ".dgrams", datagrams);
  const std::vector<std::string> argv{
      SIM, "replay", dir + "/" + name + ".dgrams", "--bind", address, "--pace", "fast"};
  return {spawn_process(argv, dir + "/" + name + ".out", dir + "/" + name + ".err"),
          dir + "/" + name + ".out", dir + "/" + name + ".err"};
}

Running start_client(const std::string& dir, const std::vector<std::string>& args) {
  std::vector<std::string> argv{PELLARIN};
  argv.insert(argv.end(), args.begin(), args.end());
  return {spawn_process(argv, dir + "/client.out", dir + "/client.err", {"TZ=UTC"}),
          dir + "/client.out", dir + "/client.err"};
}

TEST(Subscription, BytesArePortBigEndian) {
  struct Case {
    const char* port;
    std::string address;
    const char* logged;
  };
  const Case cases[] = {
      {"0", test_address(101, 1), "port 0 (bytes 00 00)"},
      {"3", test_address(101, 2), "port 3 (bytes 00 03)"},
      {"300", test_address(101, 3), "port 300 (bytes 01 2c)"},
      // Both bytes above 0x7f: no sign extension, whether char is signed or not.
      {"33023", test_address(101, 8), "port 33023 (bytes 80 ff)"},
  };
  const TestDir work;
  const std::string dir = work.path();
  std::vector<Running> sims;
  std::vector<Running> clients;
  for (const Case& c : cases) {
    const std::string sub = dir + "/" + c.port;
    mkdir(sub.c_str(), 0755);
    sims.push_back(start_sim(sub, "sim", c.address, "# nothing to send\n"));
    clients.push_back(start_client(sub, {c.port, c.address, "-c"}));
  }
  for (std::size_t i = 0; i < sims.size(); ++i) {
    SCOPED_TRACE(cases[i].port);
    EXPECT_TRUE(wait_for_text(sims[i].err, cases[i].logged, 5000)) << read_file(sims[i].err);
  }
  for (std::size_t i = 0; i < sims.size(); ++i) {
    stop_process(clients[i].pid, SIGTERM);
    stop_process(sims[i].pid, SIGTERM);
  }
}

TEST(Subscription, RenewedElevenSecondsAfterTheFirst) {
  const TestDir work;
  const std::string dir = work.path();
  const Running sim = start_sim(dir, "sim", test_address(101, 4), "# nothing to send\n");
  const Running client = start_client(dir, {"5", test_address(101, 4), "-c"});
  ASSERT_TRUE(wait_for_text(sim.err, "subscribed ", 5000)) << read_file(sim.err);
  const auto first = std::chrono::steady_clock::now();
  ASSERT_TRUE(wait_for_text(sim.err, "renewed ", 15000)) << read_file(sim.err);
  const double gap =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
  // The clock ticks in whole seconds: more than 10 s and at most 12 s apart.
  EXPECT_GT(gap, 9.8);
  EXPECT_LT(gap, 12.5);
  stop_process(client.pid, SIGTERM);
  stop_process(sim.pid, SIGTERM);
}

TEST(Subscription, RunsWhenEveryLocalPortOfItsRangeIsTaken) {
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  std::vector<int> taken;
  for (int port = 32000; port <= 33000; ++port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0)
      taken.push_back(fd);
    else
      close(fd);
  }
  // A client of a test running alongside may hold a port of the range;
  // only with the whole range held here is there anything to check.
  if (taken.size() != 1001) {
    for (const int fd : taken) close(fd);
    GTEST_SKIP() << "only " << taken.size() << " of the 1001 local ports could be held";
  }
  const TestDir work;
  const std::string dir = work.path();
  const Running sim = start_sim(dir, "sim", test_address(101, 7), "# nothing to send\n");
  const Running client = start_client(dir, {"0", test_address(101, 7), "-c"});
  const bool subscribed = wait_for_text(sim.err, "subscribed ", 5000);
  stop_process(client.pid, SIGTERM);
  stop_process(sim.pid, SIGTERM);
  for (const int fd : taken) close(fd);
  const std::string log = read_file(sim.err);
  ASSERT_TRUE(subscribed) << log;
  const std::size_t colon = log.find(':', log.find("subscribed "));
  ASSERT_NE(colon, std::string::npos) << log;
  const int port = std::stoi(log.substr(colon + 1));
  EXPECT_TRUE(port < 32000 || port > 33000) << port;
}

const std::string NODE_UP =
    R"(d {"@type":"NodeUpEvent","nodeCall":"N0DE","nodeAlias":"HUB","time":45296})"
    "\n";

TEST(Subscription, ClientSubscribesAgainWhenTheNodeRestarts) {
  const TestDir work;
  const std::string dir = work.path();
  Running sim = start_sim(dir, "first", test_address(101, 5), "# first run sends nothing\n");
  const Running client = start_client(dir, {"0", test_address(101, 5), "-c", "-d"});
  ASSERT_TRUE(wait_for_text(sim.err, "subscribed ", 5000));
  EXPECT_EQ(stop_process(sim.pid, SIGTERM), 0);

  // While the node is down the client meets "connection refused" and keeps on.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  sim = start_sim(dir, "second", test_address(101, 5), NODE_UP);
  ASSERT_TRUE(wait_for_text(sim.err, "subscribed ", 15000)) << read_file(sim.err);
  EXPECT_TRUE(wait_for_text(client.out, "12:34:56 N0DE:HUB <NODE UP>\n", 5000))
      << read_file(client.out);
  EXPECT_EQ(stop_process(client.pid, SIGTERM), 128 + SIGTERM);
  stop_process(sim.pid, SIGTERM);
  EXPECT_EQ(read_file(client.err), "");
}

// Nothing behind the node's port: the system's "connection refused" is told
// once on the console, and once more when the node starts late and answers;
// the capture file gets neither.
TEST(Subscription, ANodeThatDoesNotAnswerIsToldOnTheConsoleOnly) {
  const TestDir work;
  const std::string dir = work.path();
  const std::string capture = dir + "/capture.txt";
  const std::string node = test_address(101, 9);
  const Running client_run = start_client(dir, {"0", node, "-c", "-d", "-o", capture});
  ScopedProcess client(client_run.pid);
  const std::string refused =
      "[No trace service at " + node + ":7373 (connection refused); still trying]\n";
  ASSERT_TRUE(wait_for_text(client_run.out, refused, 5000)) << read_file(client_run.out);
  const Running sim_run = start_sim(dir, "sim", node, NODE_UP);
  ScopedProcess sim(sim_run.pid);
  EXPECT_TRUE(
      wait_for_text(client_run.out, "[Trace service at " + node + ":7373 answering]\n", 15000))
      << read_file(client_run.out) << read_file(sim_run.err);
  EXPECT_TRUE(wait_for_text(client_run.out, "12:34:56 N0DE:HUB <NODE UP>\n", 5000));
  client.stop(SIGTERM);
  const std::string console = read_file(client_run.out);
  EXPECT_EQ(console.find(refused), console.rfind(refused)) << console;
  EXPECT_EQ(read_file(capture),
            "Showing frames to/from all ports\n"
            "Including node status reports\n"
            "\n12:34:56 N0DE:HUB <NODE UP>\n");
  EXPECT_EQ(read_file(client_run.err), "");
}

TEST(Subscription, CaptureFileGetsExactlyTheTraceChannel) {
  const TestDir work;
  const std::string dir = work.path();
  const std::string capture = dir + "/capture.txt";
  const Running sim =
      start_sim(dir, "sim", test_address(101, 6),
                NODE_UP + R"(d {"@type":"NodeDownEvent","nodeCall":"N0DE","time":45300})"
                          "\n");
  const Running client = start_client(dir, {"0", test_address(101, 6), "-c", "-d", "-o", capture});
  ASSERT_TRUE(wait_for_text(client.out, "<NODE DOWN>", 8000)) << read_file(client.out);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  stop_process(client.pid, SIGTERM);
  stop_process(sim.pid, SIGTERM);

  const std::string trace =
      "Showing frames to/from all ports\n"
      "Including node status reports\n"
      "\n12:34:56 N0DE:HUB <NODE UP>\n"
      "\n12:35:00 N0DE <NODE DOWN>\n  \n";
  EXPECT_EQ(read_file(capture), trace);
  const std::string console = read_file(client.out);
  const std::size_t summary = console.find("Showing frames");
  ASSERT_NE(summary, std::string::npos);
  // The console holds the same trace text, with the console-only lines
  // (capture notice, start line) between summary and traces.
  EXPECT_EQ(console.substr(summary),
            "Showing frames to/from all ports\n"
            "Including node status reports\n"
            "Capturing traces to file '" +
                capture +
                "'\n"
                "\nPellarin v1.0 started. Use ctrl-c to exit...\n"
                "\n12:34:56 N0DE:HUB <NODE UP>\n"
                "\n12:35:00 N0DE <NODE DOWN>\n  \n");
}

// Datagrams that never stop coming must not keep the client from its
// signals: it takes them back to back, but goes through its wait (where the
// signals get in) every few dozen.
TEST(Subscription, SignalsGetInWhileDatagramsKeepComing) {
  const TestDir work;
  const std::string capture = work.path() + "/capture.txt";
  const int node = bind_node_socket(test_address(109, 1));
  ASSERT_GE(node, 0);
  ScopedProcess client(
      spawn_process({PELLARIN, "0", test_address(109, 1), "-q", "-c", "-o", capture},
                    work.path() + "/client.out", work.path() + "/client.err"));
  pollfd subscribed{node, POLLIN, 0};
  ASSERT_EQ(poll(&subscribed, 1, scaled_ms(5000)), 1);
  sockaddr_in peer{};
  socklen_t peer_size = sizeof peer;
  unsigned char subscription[2];
  ASSERT_EQ(recvfrom(node, subscription, sizeof subscription, 0, reinterpret_cast<sockaddr*>(&peer),
                     &peer_size),
            2);
  ASSERT_EQ(connect(node, reinterpret_cast<sockaddr*>(&peer), peer_size), 0);

  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    const std::string report =
        R"({"@type":"L2Trace","reportFrom":"N0DE","port":"1","srce":"G4ABC","dest":"G4XYZ","l2Type":"RR"})";
    while (flooding) (void)send(node, report.data(), report.size(), 0);
  });
  EXPECT_TRUE(wait_for_text(capture, "G4ABC>G4XYZ <RR>", 5000));
  // The capture file moved away and reopened, as logrotate does it.
  ASSERT_EQ(rename(capture.c_str(), (capture + ".1").c_str()), 0);
  kill(client.pid(), SIGUSR1);
  EXPECT_TRUE(wait_for_text(capture, "G4ABC>G4XYZ <RR>", 5000));
  // Without the tables SIGUSR2 is told so, and the client runs on.
  kill(client.pid(), SIGUSR2);
  EXPECT_TRUE(wait_for_text(work.path() + "/client.out", "[No tables are kept", 5000));
  EXPECT_EQ(client.stop(SIGTERM), 128 + SIGTERM);
  flooding = false;
  flood.join();
  close(node);
}

}  // namespace
