// pellarin-kiss: AX.25 frames from a KISS TNC or modem, served as a Korvane
// node's trace reports so that the unchanged pellarin monitors the station.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "kiss/command_line.h"
#include "kiss/decoder.h"
#include "kiss/pcap.h"
#include "kiss/sources.h"
#include "kiss/unframer.h"
#include "sim/commands.h"
#include "sim/log.h"
#include "sim/service.h"
#include "sim/udp.h"

namespace {

using kiss::KissSettings;
using kiss::SourceKind;
using sim::Clock;

// The pause before reconnecting doubles after every failure, up to a limit;
// a connection that was made starts it again from the first.
constexpr std::chrono::seconds FIRST_PAUSE{1};
constexpr std::chrono::seconds LONGEST_PAUSE{60};
// Subscriptions are looked at at least this often.
constexpr int MAX_WAIT_MS = 200;
constexpr size_t READ_CHUNK = 4096;

class Bridge {
 public:
  Bridge(const KissSettings& settings, sim::TraceService& service)
      : settings_(settings),
        service_(service),
        decoder_(settings.station),
        unframer_([this](const kiss::KissFrame& frame) { serve(frame, std::time(nullptr)); },
                  [this](const std::string& note) {
                    if (settings_.verbose) sim::log_line("%s", note.c_str());
                  }) {}

  void serve(const kiss::KissFrame& frame, int64_t time) {
    ++frames_;
    std::vector<std::string> notes;
    for (const std::string& report : decoder_.decode(frame, time, notes)) {
      service_.send_to_subscribers(report);
    }
    if (settings_.verbose) {
      for (const std::string& note : notes) sim::log_line("frame %llu: %s", frames_, note.c_str());
    }
  }

  int run_pcap();
  int run_live();

 private:
  bool open_source();
  void close_source(const std::string& why);

  const KissSettings& settings_;
  sim::TraceService& service_;
  kiss::FrameDecoder decoder_;
  kiss::Unframer unframer_;
  unsigned long long frames_ = 0;
  int source_fd_ = -1;
  bool connecting_ = false;
  Clock::time_point retry_at_{};
  std::chrono::seconds pause_ = FIRST_PAUSE;
};

int Bridge::run_pcap() {
  std::vector<kiss::PcapRecord> records;
  std::string error;
  if (!kiss::read_pcap(settings_.pcap_file, records, error)) {
    sim::log_line("%s", error.c_str());
    return sim::EXIT_USAGE;
  }
  if (!error.empty()) sim::log_line("%s", error.c_str());
  sim::log_line("%s: %zu frames; waiting for a subscriber", settings_.pcap_file.c_str(),
                records.size());
  if (!service_.serve_until(Clock::time_point::max(), 1)) {
    sim::log_line("stopped by signal");
    return 0;
  }
  const Clock::time_point start = Clock::now();
  for (const kiss::PcapRecord& record : records) {
    if (settings_.recorded_pace) {
      const auto offset = std::chrono::seconds(record.seconds - records.front().seconds) +
                          std::chrono::microseconds(record.micros - records.front().micros);
      if (!service_.serve_until(start +
                                std::max<Clock::duration>(offset, Clock::duration::zero()))) {
        sim::log_line("stopped by signal");
        return 0;
      }
    }
    if (record.bytes.empty()) continue;
    const uint8_t command = record.bytes.front();
    const std::span<const uint8_t> ax25 = std::span(record.bytes).subspan(1);
    if ((command & 0x0F) != kiss::COMMAND_DATA) {
      if (settings_.verbose) sim::log_line("KISS command 0x%02X ignored", command);
      continue;
    }
    serve(kiss::KissFrame{static_cast<uint8_t>(command >> 4), ax25}, record.seconds);
  }
  service_.end_pass();
  if (settings_.exit_when_done) {
    sim::log_line("done");
    return 0;
  }
  sim::log_line("end of file; still serving until interrupted");
  service_.serve_until(Clock::time_point::max());
  sim::log_line("stopped by signal");
  return 0;
}

bool Bridge::open_source() {
  std::string error;
  if (settings_.source == SourceKind::TCP) {
    source_fd_ = kiss::start_tcp_connect(settings_.tnc, error);
    connecting_ = source_fd_ >= 0;
  } else {
    source_fd_ = kiss::open_serial(settings_.serial, error);
    if (source_fd_ >= 0) {
      sim::log_line("reading %s", settings_.serial.path.c_str());
      pause_ = FIRST_PAUSE;
    }
  }
  if (source_fd_ < 0) close_source(error);
  return source_fd_ >= 0;
}

void Bridge::close_source(const std::string& why) {
  if (source_fd_ >= 0) close(source_fd_);
  source_fd_ = -1;
  connecting_ = false;
  unframer_.reset();
  sim::log_line("%s; trying again in %lld s", why.c_str(), static_cast<long long>(pause_.count()));
  retry_at_ = Clock::now() + pause_;
  pause_ = std::min(pause_ * 2, LONGEST_PAUSE);
}

int Bridge::run_live() {
  std::array<uint8_t, READ_CHUNK> chunk{};
  while (!sim::stop_requested()) {
    if (source_fd_ < 0 && Clock::now() >= retry_at_) open_source();
    std::array<pollfd, 2> waits{
        pollfd{service_.socket(), POLLIN, 0},
        pollfd{source_fd_, static_cast<short>(connecting_ ? POLLOUT : POLLIN), 0}};
    int wait_ms = MAX_WAIT_MS;
    if (source_fd_ < 0) {
      const auto until_retry =
          std::chrono::ceil<std::chrono::milliseconds>(retry_at_ - Clock::now()).count();
      wait_ms = static_cast<int>(std::clamp<long long>(until_retry, 0, MAX_WAIT_MS));
    }
    poll(waits.data(), source_fd_ >= 0 ? 2 : 1, wait_ms);
    service_.serve_until(Clock::now());
    if (source_fd_ < 0 || waits[1].revents == 0) continue;
    if (connecting_) {
      std::string error;
      if (kiss::tcp_connected(source_fd_, error)) {
        connecting_ = false;
        pause_ = FIRST_PAUSE;
        sim::log_line("connected to %s", sim::endpoint_text(settings_.tnc).c_str());
      } else {
        close_source("cannot connect to " + sim::endpoint_text(settings_.tnc) + ": " + error);
      }
      continue;
    }
    const ssize_t n = read(source_fd_, chunk.data(), chunk.size());
    if (n > 0) {
      unframer_.feed(std::span<const uint8_t>(chunk.data(), static_cast<size_t>(n)));
    } else if (n == 0) {
      close_source("KISS source closed");
    } else if (errno != EAGAIN && errno != EINTR) {
      close_source(sim::format_text("KISS source failed: %s", std::strerror(errno)));
    }
  }
  sim::log_line("stopped by signal");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  sim::set_log_name("pellarin-kiss");
  KissSettings settings;
  const std::span<char* const> words(argv, static_cast<size_t>(argc));
  if (const auto status = kiss::read_kiss_command_line(words.subspan(1), settings)) return *status;
  std::string error;
  const int fd = sim::open_service_socket(settings.bind, error);
  if (fd < 0) {
    sim::log_line("%s", error.c_str());
    return sim::EXIT_SYSTEM;
  }
  sim::install_stop_handlers();
  sim::TraceService service(fd, false);
  sim::log_line("listening on %s", sim::endpoint_text(settings.bind).c_str());
  Bridge bridge(settings, service);
  return settings.source == SourceKind::PCAP ? bridge.run_pcap() : bridge.run_live();
}
