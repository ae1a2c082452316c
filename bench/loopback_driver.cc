// The fast node and the bare receiver of bench/end_to_end.sh, over loopback.
//   serve ADDR COUNT RATE [CAPTURE]  play the node at ADDR:7373: wait for a
//       subscription, send COUNT one-report datagrams at RATE per second
//       (0: as fast as possible); with CAPTURE, wait until that file stops
//       growing. Prints "sent N seconds S" and, with CAPTURE,
//       "drained_seconds D" (first send to last growth).
//   latency ADDR CAPTURE COUNT  one datagram at a time, each timed from its
//       send until its whole trace is in CAPTURE; prints median and p99.
//   memory ADDR PID  1,000 reports, then 999,000 more at 100,000/s; prints
//       the client's peak resident memory (VmHWM) after each.
//   bare ADDR  the limit: subscribe, then poll and receive only, until 1 s
//       passes without a datagram; prints "received N seconds S".
//   corpus COUNT  the report that serve sends, COUNT times, one per line.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint16_t TRACE_PORT = 7373;

// One NET/ROM INFO frame: the report the figures are quoted for.
constexpr char REPORT[] =
    R"({"@type":"L2Trace","serial":18,"time":1765000001,"reportFrom":"N0DE","port":"3",)"
    R"("isRF":true,"dirn":"rcvd","srce":"G4ABC-1","dest":"G4XYZ-2","l2Type":"I","cr":"C",)"
    R"("rseq":3,"tseq":5,"ilen":45,"pid":207,"ptcl":"NET/ROM","l3Type":"NetRom",)"
    R"("l3src":"G4ABC","l3dst":"G4XYZ","ttl":7,"l4type":"INFO","toCct":5,"fromCct":9,)"
    R"("txSeq":3,"rxSeq":5,"paylen":20,"text":"Good evening all"})";

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void fail(const char* what) {
  std::perror(what);
  std::exit(1);
}

sockaddr_in address_of(const char* text, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (inet_pton(AF_INET, text, &address.sin_addr) != 1) {
    std::fprintf(stderr, "not an IPv4 address: %s\n", text);
    std::exit(2);
  }
  return address;
}

// The node's socket, connected to the first subscriber.
int wait_for_subscriber(const char* node_address) {
  const int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const sockaddr_in node = address_of(node_address, TRACE_PORT);
  const int reuse = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&node), sizeof node) != 0) fail("bind");
  const int buffer = 4 * 1024 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  sockaddr_in client{};
  socklen_t size = sizeof client;
  unsigned char subscription[2];
  if (recvfrom(fd, subscription, sizeof subscription, 0, reinterpret_cast<sockaddr*>(&client),
               &size) < 0)
    fail("recvfrom");
  if (connect(fd, reinterpret_cast<const sockaddr*>(&client), size) != 0) fail("connect");
  return fd;
}

void send_report(int fd) {
  // A full loopback queue only delays the sender; a refused send (the
  // client's buffer) is the client's loss, counted by the caller.
  while (send(fd, REPORT, sizeof REPORT - 1, 0) < 0 && errno == ENOBUFS) std::this_thread::yield();
}

// Sends `count` reports at `rate` per second in 1 ms batches.
void send_paced(int fd, long count, long rate) {
  const Clock::time_point start = Clock::now();
  for (long sent = 0; sent < count;) {
    if (rate > 0) {
      const double due = static_cast<double>(sent) / static_cast<double>(rate);
      const double ahead = due - seconds_since(start);
      if (ahead > 0) std::this_thread::sleep_for(std::chrono::duration<double>(ahead));
      const long batch = std::max(1L, rate / 1000);
      for (long i = 0; i < batch && sent < count; ++i, ++sent) send_report(fd);
    } else {
      send_report(fd);
      ++sent;
    }
  }
}

long file_size(const char* path) {
  struct stat status {};
  return stat(path, &status) == 0 ? static_cast<long>(status.st_size) : -1;
}

int serve(const char* node_address, long count, long rate, const char* capture) {
  const int fd = wait_for_subscriber(node_address);
  const Clock::time_point start = Clock::now();
  send_paced(fd, count, rate);
  std::printf("sent %ld seconds %.3f\n", count, seconds_since(start));
  if (capture != nullptr) {
    // Settled once the file has not grown for half a second.
    long size = file_size(capture);
    Clock::time_point last_growth = Clock::now();
    while (seconds_since(last_growth) < 0.5) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const long now_size = file_size(capture);
      if (now_size != size) {
        size = now_size;
        last_growth = Clock::now();
      }
    }
    std::printf("drained_seconds %.3f\n",
                std::chrono::duration<double>(last_growth - start).count());
  }
  close(fd);
  return 0;
}

int latency(const char* node_address, const char* capture, int count) {
  const int fd = wait_for_subscriber(node_address);
  const int watch = inotify_init1(IN_CLOEXEC);
  if (inotify_add_watch(watch, capture, IN_MODIFY) < 0) fail("inotify_add_watch");
  // The first trace tells how many bytes each one adds.
  long size = file_size(capture);
  send_report(fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long trace_bytes = file_size(capture) - size;
  if (trace_bytes <= 0) {
    std::fprintf(stderr, "no trace reached %s\n", capture);
    return 1;
  }
  std::vector<double> samples;
  char events[4096];
  for (int i = 0; i < count; ++i) {
    size = file_size(capture);
    const Clock::time_point sent = Clock::now();
    send_report(fd);
    while (file_size(capture) < size + trace_bytes) {
      pollfd ready{watch, POLLIN, 0};
      if (poll(&ready, 1, 1000) <= 0) break;
      if (read(watch, events, sizeof events) < 0) fail("read");
    }
    samples.push_back(seconds_since(sent) * 1000.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  std::sort(samples.begin(), samples.end());
  std::printf("median_ms %.3f p99_ms %.3f\n", samples[samples.size() / 2],
              samples[samples.size() * 99 / 100]);
  return 0;
}

long peak_rss_kib(const char* pid) {
  std::ifstream status(std::string("/proc/") + pid + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

int memory(const char* node_address, const char* pid) {
  const int fd = wait_for_subscriber(node_address);
  send_paced(fd, 1000, 100000);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  std::printf("peak_rss_kib_after_1000 %ld\n", peak_rss_kib(pid));
  send_paced(fd, 999000, 100000);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  std::printf("peak_rss_kib_after_1000000 %ld\n", peak_rss_kib(pid));
  return 0;
}

int bare(const char* node_address) {
  const int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const int buffer = 4 * 1024 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  const sockaddr_in node = address_of(node_address, TRACE_PORT);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&node), sizeof node) != 0) fail("connect");
  const unsigned char all_ports[2] = {0, 0};
  long received = 0;
  Clock::time_point first{};
  Clock::time_point last{};
  char datagram[1600];
  for (;;) {
    if (received == 0) send(fd, all_ports, sizeof all_ports, 0);
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, received == 0 ? 500 : 1000) <= 0) {
      if (received == 0) continue;
      break;
    }
    if (recv(fd, datagram, 1500, 0) <= 0) continue;
    last = Clock::now();
    if (received++ == 0) first = last;
  }
  std::printf("received %ld seconds %.3f\n", received,
              std::chrono::duration<double>(last - first).count());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "serve" && (argc == 5 || argc == 6))
    return serve(argv[2], std::atol(argv[3]), std::atol(argv[4]), argc == 6 ? argv[5] : nullptr);
  if (command == "latency" && argc == 5) return latency(argv[2], argv[3], std::atoi(argv[4]));
  if (command == "memory" && argc == 4) return memory(argv[2], argv[3]);
  if (command == "bare" && argc == 3) return bare(argv[2]);
  if (command == "corpus" && argc == 3) {
    for (long i = std::atol(argv[2]); i > 0; --i) std::printf("%s\n", REPORT);
    return 0;
  }
  std::fprintf(stderr,
               "usage: loopback_driver serve ADDR COUNT RATE [CAPTURE] | latency ADDR CAPTURE "
               "COUNT | memory ADDR PID | bare ADDR | corpus COUNT\n");
  return 2;
}
