// The platform layer on loopback sockets: non-blocking receive, waiting,
// sending, and the ending signal it reports; the file lock and a file
// replaced whole.
#include "app/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "tests/support/file_text.h"
#include "tests/support/test_environment.h"

namespace {

// This machine's loopback, on an address kept for these tests; the sockets
// are bound to every address, so a datagram to it reaches them.
constexpr std::uint32_t TEST_ADDRESS = 0x7F0B0301;  // 127.11.3.1
constexpr std::uint16_t FIRST_TEST_PORT = 47300;
constexpr int TEST_PORTS = 100;

// Opens a non-blocking socket bound to the first free test port.
NetSocket open_bound(std::uint16_t& port) {
  const NetSocket socket = open_udp_socket("Socket");
  if (socket == NO_SOCKET) return NO_SOCKET;
  EXPECT_TRUE(set_non_blocking(socket, "ioctlsocket"));
  for (int offset = 0; offset < TEST_PORTS; ++offset) {
    port = static_cast<std::uint16_t>(FIRST_TEST_PORT + offset);
    if (bind_local_port(socket, port)) return socket;
  }
  close_socket(socket);
  return NO_SOCKET;
}

// A node's socket (bound, any address) and the client's, connected to it.
class PlatformSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(start_network());
    std::uint16_t node_port = 0;
    std::uint16_t client_port = 0;
    node_ = open_bound(node_port);
    client_ = open_bound(client_port);
    if (node_ == NO_SOCKET || client_ == NO_SOCKET)
      GTEST_SKIP() << "no two free ports from " << FIRST_TEST_PORT;
    ASSERT_TRUE(connect_socket(client_, TEST_ADDRESS, node_port, "connect"));
  }

  void TearDown() override {
    if (node_ != NO_SOCKET) close_socket(node_);
    if (client_ != NO_SOCKET) close_socket(client_);
  }

  NetSocket node_ = NO_SOCKET;
  NetSocket client_ = NO_SOCKET;
};

TEST_F(PlatformSocket, NothingWaitingNeitherBlocksNorWaitsPastItsTime) {
  char buffer[16];
  std::uint32_t dropped = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_LE(receive_datagram(client_, buffer, dropped), 0);
  EXPECT_FALSE(wait_for_datagram(client_, std::chrono::milliseconds(120)));
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 0.1);
  EXPECT_LT(waited, 5.0);
}

TEST_F(PlatformSocket, ADatagramSentIsWaitedForAndReceivedWhole) {
  const unsigned char subscription[] = {0x01, 0x2C};
  send_datagram(client_, subscription, sizeof subscription);
  ASSERT_TRUE(wait_for_datagram(node_, std::chrono::milliseconds(5000)));
  char buffer[16] = {};
  std::uint32_t dropped = 0;
  ASSERT_EQ(receive_datagram(node_, buffer, dropped), 2);
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0x01);
  EXPECT_EQ(static_cast<unsigned char>(buffer[1]), 0x2C);
  EXPECT_LE(receive_datagram(node_, buffer, dropped), 0);
  EXPECT_EQ(dropped, 0U);
}

TEST(PlatformClock, MonotonicClockNeverGoesBack) {
  const MonotonicClock::time_point first = MonotonicClock::now();
  const MonotonicClock::time_point second = MonotonicClock::now();
  EXPECT_LE(first, second);
  EXPECT_GT(first.time_since_epoch().count(), 0);
}

TEST(PlatformEnding, NoSignalUntilOneArrives) {
  install_ending_handlers();
  EXPECT_EQ(ending_signal(), 0);
}

TEST(PlatformFiles, ALockIsRefusedToASecondTaker) {
  const TestDir work;
  const std::string lock = work / "heard.lock";
  EXPECT_EQ(lock_file(lock.c_str()), FileLock::TAKEN);
  EXPECT_EQ(lock_file(lock.c_str()), FileLock::HELD_ELSEWHERE);
  EXPECT_EQ(lock_file((work / "no-such-folder/heard.lock").c_str()), FileLock::FAILED);
}

TEST(PlatformFiles, AReplacementTakesTheOldFilesPlaceWhole) {
  const TestDir work;
  const std::string path = work / "heard.txt";
  const std::string temp = path + ".tmp";
  write_file(path, "old\n");
  const int fd = open_replacement(temp.c_str());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(write_replacement(fd, "new\n", 4));
  EXPECT_EQ(read_file(path), "old\n");
  ASSERT_TRUE(put_replacement_in_place(fd, temp.c_str(), path.c_str())) << file_error_text();
  EXPECT_EQ(read_file(path), "new\n");
  EXPECT_FALSE(std::filesystem::exists(temp));

  const int dropped = open_replacement(temp.c_str());
  ASSERT_GE(dropped, 0);
  discard_replacement(dropped, temp.c_str());
  EXPECT_FALSE(std::filesystem::exists(temp));
  EXPECT_LT(open_replacement((work / "no-such-folder/heard.tmp").c_str()), 0);
}

}  // namespace
