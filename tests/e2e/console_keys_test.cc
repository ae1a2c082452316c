// The console's keys on a pseudo-terminal: a key prints a table between two
// traces, live and from a file, and the terminal's modes are as they were
// after Ctrl-C and at the end; SIGUSR2 prints every table and the client
// runs on.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/launcher.h"
#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

const std::string PELLARIN = PELLARIN_BINARY;

const std::string STATIONS = "Stations heard";
const std::string LINKS = "Links heard";
const std::string ROUTES = "Routes heard";

std::string frame(const std::string& source, const std::string& destination) {
  return R"({"@type":"L2Trace","reportFrom":"N0DE","port":"1","isRF":true,"dirn":"rcvd",)"
         R"("time":1765024496,"srce":")" +
         source + R"(","dest":")" + destination + R"(","l2Type":"UI","cr":"C","ilen":0})";
}

bool same_modes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// The client with a pseudo-terminal as its controlling terminal, in its
// foreground, as a shell starts it; the test holds both ends, so it can
// type, read the screen and look at the terminal's modes.
class TerminalClient {
 public:
  explicit TerminalClient(const std::vector<std::string>& args) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    tcgetattr(slave_, &modes_before_);
    std::vector<std::string> argv{PELLARIN};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::vector<std::string> launched = with_launcher(argv);
    std::vector<char*> words;
    for (const std::string& word : launched) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      ioctl(slave_, TIOCSCTTY, 0);
      dup2(slave_, 0);
      dup2(slave_, 1);
      dup2(slave_, 2);
      close(master_);
      close(slave_);
      setenv("TZ", "UTC", 1);
      execv(words[0], words.data());
      _exit(127);
    }
  }
  ~TerminalClient() {
    if (pid_ > 0 && !ended_) stop_process(pid_, SIGKILL);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  TerminalClient(const TerminalClient&) = delete;
  TerminalClient& operator=(const TerminalClient&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  termios modes() const {
    termios now{};
    tcgetattr(slave_, &now);
    return now;
  }
  void type(const std::string& keys) { (void)write(master_, keys.data(), keys.size()); }
  // Waits until the terminal takes single keys (or, false, lines again).
  bool takes_single_keys(bool single, int timeout_ms) const {
    for (int waited = 0; waited <= scaled_ms(timeout_ms); waited += 20) {
      if (((modes().c_lflag & ICANON) == 0) == single) return true;
      usleep(20000);
    }
    return false;
  }
  int wait(int timeout_ms) {
    const int status = wait_process(pid_, timeout_ms);
    ended_ = status != -1000;
    return status;
  }
  // Ctrl-C typed, as a user ends the client: its exit status.
  int interrupt() {
    type("\003");
    return wait(5000);
  }
  bool modes_as_before() const { return same_modes(modes(), modes_before_); }

  // Reads the screen until it shows the text after `from` (a position in
  // what it has shown); false on timeout.
  bool shows(const std::string& text, int timeout_ms, std::size_t from = 0) {
    for (int waited = 0; screen_.find(text, from) == std::string::npos; waited += 20) {
      if (waited > scaled_ms(timeout_ms)) return false;
      pollfd ready{master_, POLLIN, 0};
      if (poll(&ready, 1, 20) <= 0) continue;
      char bytes[4096];
      const ssize_t count = read(master_, bytes, sizeof bytes);
      if (count > 0) screen_.append(bytes, static_cast<std::size_t>(count));
    }
    return true;
  }
  const std::string& screen() const { return screen_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  bool ended_ = false;
  termios modes_before_{};
  std::string screen_;
};

// The node's end: learns the client's address from its subscription.
class Node {
 public:
  explicit Node(const std::string& address) : fd_(bind_node_socket(address)) {}
  ~Node() {
    if (fd_ >= 0) close(fd_);
  }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  bool bound() const { return fd_ >= 0; }
  bool subscribed() {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, scaled_ms(5000)) != 1) return false;
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    unsigned char subscription[2];
    if (recvfrom(fd_, subscription, sizeof subscription, 0, reinterpret_cast<sockaddr*>(&peer),
                 &size) != 2)
      return false;
    return connect(fd_, reinterpret_cast<sockaddr*>(&peer), size) == 0;
  }
  void send_report(const std::string& report) { (void)send(fd_, report.data(), report.size(), 0); }

 private:
  int fd_;
};

TEST(ConsoleKeys, KeyPrintsTheStationsBetweenTracesAndCtrlCGivesTheModesBack) {
  Node node(test_address(110, 1));
  ASSERT_TRUE(node.bound());
  TerminalClient client({"0", test_address(110, 1), "-c", "--heard"});
  if (!client.started()) GTEST_SKIP() << "no pseudo-terminal";
  ASSERT_TRUE(node.subscribed());
  node.send_report(frame("G4ABC", "BEACON"));
  ASSERT_TRUE(client.shows("G4ABC>BEACON", 5000)) << client.screen();
  // Single keys without echo; the keys that signal still work.
  EXPECT_EQ(client.modes().c_lflag & (ICANON | ECHO), 0U);
  EXPECT_NE(client.modes().c_lflag & ISIG, 0U);

  client.type("h");
  ASSERT_TRUE(client.shows(STATIONS, 5000)) << client.screen();
  const std::size_t table = client.screen().find(STATIONS);
  // The header and its rows may come in separate reads of the terminal.
  EXPECT_TRUE(client.shows("G4ABC", 5000, table)) << client.screen();
  EXPECT_EQ(client.screen().find(LINKS), std::string::npos) << client.screen();
  client.type("?");
  EXPECT_TRUE(client.shows("[Keys: h stations, l links, n routes, ? these keys]", 5000, table))
      << client.screen();
  node.send_report(frame("M0PQR", "ID"));
  EXPECT_TRUE(client.shows("M0PQR>ID", 5000, table)) << client.screen();

  EXPECT_EQ(client.interrupt(), 128 + SIGINT);
  EXPECT_TRUE(client.modes_as_before());
}

TEST(ConsoleKeys, CtrlZGivesTheTerminalBackUntilTheClientGoesOn) {
  Node node(test_address(110, 4));
  ASSERT_TRUE(node.bound());
  TerminalClient client({"0", test_address(110, 4), "-c", "--heard"});
  if (!client.started()) GTEST_SKIP() << "no pseudo-terminal";
  ASSERT_TRUE(node.subscribed());
  ASSERT_TRUE(client.takes_single_keys(true, 5000));
  client.type("\032");
  ASSERT_TRUE(client.takes_single_keys(false, 5000));
  EXPECT_TRUE(client.modes_as_before());
  kill(client.pid(), SIGCONT);
  ASSERT_TRUE(client.takes_single_keys(true, 5000));
  client.type("l");
  EXPECT_TRUE(client.shows(LINKS, 5000)) << client.screen();
  EXPECT_EQ(client.interrupt(), 128 + SIGINT);
  EXPECT_TRUE(client.modes_as_before());
}

TEST(ConsoleKeys, WithoutTheTablesTheTerminalIsLeftAsItIs) {
  Node node(test_address(110, 2));
  ASSERT_TRUE(node.bound());
  TerminalClient client({"0", test_address(110, 2), "-c"});
  if (!client.started()) GTEST_SKIP() << "no pseudo-terminal";
  // The keys would be taken before the first subscription goes out.
  ASSERT_TRUE(node.subscribed());
  EXPECT_TRUE(client.modes_as_before());
  client.type("h");
  node.send_report(frame("G4ABC", "BEACON"));
  ASSERT_TRUE(client.shows("G4ABC>BEACON", 5000)) << client.screen();
  EXPECT_EQ(client.screen().find(STATIONS), std::string::npos) << client.screen();
  EXPECT_EQ(client.interrupt(), 128 + SIGINT);
}

TEST(ConsoleKeys, KeysWorkWhileAFileIsReadAndTheModesComeBackAtItsEnd) {
  const TestDir work;
  const std::string path = work / "session.dgrams";
  write_file(path, "@0 d " + frame("G4ABC", "BEACON") + "\n@3000 d " + frame("M0PQR", "ID") + "\n");
  TerminalClient client({"--read", path, "--pace", "recorded", "-c", "--heard"});
  if (!client.started()) GTEST_SKIP() << "no pseudo-terminal";
  ASSERT_TRUE(client.shows("G4ABC>BEACON", 5000)) << client.screen();
  client.type("n");
  ASSERT_TRUE(client.shows(ROUTES, 1000)) << client.screen();
  // Answered within the recorded pause, before the next trace.
  EXPECT_EQ(client.screen().find("M0PQR>ID"), std::string::npos) << client.screen();
  EXPECT_EQ(client.wait(5000), 0);
  EXPECT_TRUE(client.modes_as_before());
}

TEST(ConsoleKeys, Sigusr2PrintsEveryTableAndTheClientRunsOn) {
  const TestDir work;
  Node node(test_address(110, 3));
  ASSERT_TRUE(node.bound());
  ScopedProcess client(spawn_process({PELLARIN, "0", test_address(110, 3), "--heard"}, work / "out",
                                     work / "err", {"TZ=UTC"}));
  ASSERT_TRUE(node.subscribed());
  node.send_report(frame("G4ABC", "BEACON"));
  ASSERT_TRUE(wait_for_text(work / "out", "G4ABC>BEACON", 5000)) << read_file(work / "out");
  kill(client.pid(), SIGUSR2);
  for (const std::string& table : {STATIONS, LINKS, ROUTES})
    EXPECT_TRUE(wait_for_text(work / "out", table, 5000)) << read_file(work / "out");
  // In the console's own colour, not the last trace's.
  const std::string shown = read_file(work / "out");
  EXPECT_LT(shown.find("\033[0m", shown.find("G4ABC>BEACON")), shown.find(STATIONS)) << shown;
  node.send_report(frame("M0PQR", "ID"));
  EXPECT_TRUE(wait_for_text(work / "out", "M0PQR>ID", 5000)) << read_file(work / "out");
  EXPECT_EQ(client.stop(SIGTERM), 128 + SIGTERM);
}

}  // namespace
