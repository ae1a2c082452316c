// The receive loop's parts: the renewal schedule on a fake clock, the count
// of datagrams the system dropped, and reopening the capture file.
#include "app/receive_loop.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/command_line.h"
#include "app/settings.h"
#include "output/channels.h"
#include "tests/support/launcher.h"
#include "tests/support/process.h"
#include "tests/support/report_harness.h"
#include "tests/support/test_environment.h"

namespace {

using std::chrono::milliseconds;
using Clock = RenewalSchedule::Clock;

std::uint32_t address_of(const std::string& text) {
  std::uint32_t address = 0;
  EXPECT_TRUE(parse_ipv4(text.c_str(), address));
  return address;
}

// A fake monotonic clock: a test sets the time since an arbitrary start.
Clock::time_point at(milliseconds since_start) {
  return Clock::time_point{} + since_start;
}

TEST(RenewalSchedule, FirstAtOnceThenEveryElevenSeconds) {
  // Starts at time 0 of the clock, as a monotonic clock may just after boot:
  // "never sent" is not "sent at time 0".
  RenewalSchedule schedule;
  struct Step {
    milliseconds now;
    bool due;
  };
  const Step steps[] = {
      {milliseconds(0), true},     {milliseconds(1), false},     {milliseconds(10999), false},
      {milliseconds(11000), true}, {milliseconds(11500), false}, {milliseconds(21999), false},
      {milliseconds(22000), true}, {milliseconds(90000), true},  {milliseconds(90001), false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.now.count());
    EXPECT_EQ(schedule.due(at(step.now)), step.due);
    if (schedule.due(at(step.now))) schedule.sent(at(step.now));
  }
}

TEST(RenewalSchedule, FirstIsDueWhereverTheClockStarts) {
  for (const milliseconds start : {milliseconds(0), milliseconds(5000), milliseconds(1LL << 40)}) {
    RenewalSchedule schedule;
    EXPECT_TRUE(schedule.due(at(start)));
    schedule.sent(at(start));
    EXPECT_FALSE(schedule.due(at(start + milliseconds(10999))));
    EXPECT_TRUE(schedule.due(at(start + milliseconds(11000))));
    // The loop sleeps until then.
    EXPECT_EQ(schedule.next_due(), at(start + milliseconds(11000)));
  }
}

class ReceiveLoopTest : public ReportTest {};

// Connecting has fixed the client's local address as well as its port.
void send_to_client(int node_fd, NetSocket client_socket, const std::string& text) {
  sockaddr_in client{};
  socklen_t size = sizeof client;
  getsockname(static_cast<int>(client_socket), reinterpret_cast<sockaddr*>(&client), &size);
  sendto(node_fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&client),
         sizeof client);
}

TEST_F(ReceiveLoopTest, BurstLargerThanTheReceiveBufferIsCountedExactly) {
  const std::string node = test_address(108, 1);
  constexpr int BURST = 2000;
  const int node_fd = bind_node_socket(node);
  if (node_fd < 0) GTEST_SKIP() << "cannot bind " << node << ":" << TRACE_PORT;
  // A deliberately small buffer: the system gives its minimum, a few
  // datagrams' worth.
  const NetSocket client = open_trace_socket(address_of(node), 1);
  ASSERT_NE(client, NO_SOCKET);
  const std::string report = R"({"@type":"NodeStatus","nodeCall":"N0DE","uptimeSecs":1})";
  for (int i = 0; i < BURST; ++i) send_to_client(node_fd, client, report);

  std::array<char, 1600> buffer;
  std::uint32_t dropped = 0;
  int received = 0;
  while (receive_datagram(client, buffer, dropped) > 0) ++received;
  ASSERT_LT(received, BURST) << "the system kept the whole burst; nothing to count";
  // The count travels with each datagram as it stood when that one was
  // queued: one more after the burst brings the final total.
  send_to_client(node_fd, client, report);
  pollfd ready{static_cast<int>(client), POLLIN, 0};
  ASSERT_EQ(poll(&ready, 1, 2000), 1);
  ASSERT_EQ(receive_datagram(client, buffer, dropped), static_cast<long>(report.size()));
  // qemu-user drops the ancillary data that carries the count.
  if (dropped == 0 && TEST_LAUNCHER[0] != '\0')
    GTEST_SKIP() << "no drop count arrives through " << TEST_LAUNCHER;
  EXPECT_EQ(received + 1 + static_cast<int>(dropped), BURST + 1) << received << " received";
  close_socket(client);
  close(node_fd);
}

TEST_F(ReceiveLoopTest, DropWarningsAtMostOncePerSecondWithTheTotal) {
  DropWarnings warnings;
  struct Step {
    milliseconds now;
    std::uint32_t total;
    const char* console;
    milliseconds next_due;  // -1: none pending
  };
  const Step steps[] = {
      {milliseconds(0), 0, "", milliseconds(-1)},
      {milliseconds(100), 5, "[5 datagrams dropped by kernel so far]\n", milliseconds(-1)},
      {milliseconds(600), 9, "", milliseconds(1100)},
      {milliseconds(1099), 12, "", milliseconds(1100)},
      {milliseconds(1100), 12, "[12 datagrams dropped by kernel so far]\n", milliseconds(-1)},
      {milliseconds(5000), 12, "", milliseconds(-1)},
      {milliseconds(5001), 13, "[13 datagrams dropped by kernel so far]\n", milliseconds(-1)},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.now.count());
    warnings.check(step.total, at(step.now));
    EXPECT_EQ(take_output().console, step.console);
    EXPECT_EQ(warnings.next_due(step.total), step.next_due.count() < 0
                                                 ? Clock::time_point::max()
                                                 : at(step.next_due));
  }
}

TEST_F(ReceiveLoopTest, SmallReceiveBufferNotedUnderWarningsOnly) {
  constexpr int HUGE_BUFFER = 1 << 30;  // beyond any net.core.rmem_max
  const std::uint32_t node = address_of(test_address(108, 2));
  NetSocket socket = open_trace_socket(node, HUGE_BUFFER);
  ASSERT_NE(socket, NO_SOCKET);
  close_socket(socket);
  EXPECT_EQ(take_output().console, "");

  flags(TF_WARNINGS, TF_TIMESTAMP | TF_COLOUR);
  socket = open_trace_socket(node, HUGE_BUFFER);
  ASSERT_NE(socket, NO_SOCKET);
  close_socket(socket);
  const std::string console = take_output().console;
  EXPECT_EQ(console.rfind("[Receive buffer is ", 0), 0U) << console;
  EXPECT_NE(console.find(", not 1073741824: raise net.core.rmem_max to hold bursts]\n"),
            std::string::npos)
      << console;
}

TEST_F(ReceiveLoopTest, FailedReopenIsTriedAgainAtTheNextOne) {
  const TestDir work;
  const std::filesystem::path folder = std::filesystem::path(work.path()) / "logs";
  const std::string path = (folder / "trace.log").string();
  std::filesystem::create_directory(folder);
  std::strcpy(settings.capture_path, path.c_str());
  settings.capture_file = open_capture_stream(settings.capture_path, true);
  ASSERT_NE(settings.capture_file, nullptr);

  std::filesystem::remove_all(folder);
  for (int attempt = 0; attempt < 2; ++attempt) {
    reopen_capture_file();
    EXPECT_EQ(settings.capture_file, nullptr);
    EXPECT_EQ(take_output().console, "Can't open capture file '" + path + "'\n");
  }
  std::filesystem::create_directory(folder);
  reopen_capture_file();
  ASSERT_NE(settings.capture_file, nullptr);
  out_print("G4ABC>G4XYZ <UI>\n");
  EXPECT_EQ(read_file(path), "G4ABC>G4XYZ <UI>\n");
  EXPECT_EQ(take_output().console, "G4ABC>G4XYZ <UI>\n");
  std::fclose(settings.capture_file);
}

}  // namespace
