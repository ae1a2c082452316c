// The console's word on a node that does not answer, flushed at once: the
// console may be a file that someone follows.
#include "app/service_watch.h"

#include <array>
#include <cstdio>

#include "output/channels.h"

namespace {

// "a.b.c.d:port"
std::array<char, 24> endpoint(std::uint32_t address, std::uint16_t port) {
  std::array<char, 24> text{};
  std::snprintf(text.data(), text.size(), "%u.%u.%u.%u:%u", address >> 24, (address >> 16) & 0xFFU,
                (address >> 8) & 0xFFU, address & 0xFFU, static_cast<unsigned>(port));
  return text;
}

}  // namespace

void ServiceWatch::subscribed(Clock::time_point now) {
  if (ever_subscribed_) return;
  ever_subscribed_ = true;
  waiting_for_first_ = true;
  hint_due_ = now + FIRST_REPORT_WAIT;
}

void ServiceWatch::refused() {
  if (told_refused_) return;
  told_refused_ = true;
  con_print("[No trace service at %s (connection refused); still trying]\n",
            endpoint(address_, port_).data());
  std::fflush(console_stream());
}

void ServiceWatch::received() {
  waiting_for_first_ = false;
  if (!told_refused_) return;
  told_refused_ = false;
  con_print("[Trace service at %s answering]\n", endpoint(address_, port_).data());
  std::fflush(console_stream());
}

void ServiceWatch::check(Clock::time_point now) {
  if (!waiting_for_first_ || now < hint_due_) return;
  waiting_for_first_ = false;
  // A refusal already told why nothing comes.
  if (told_refused_) return;
  con_print(
      "[No report from %s in %lld s: is the address right and the node's trace service on?"
      " A quiet port sends nothing.]\n",
      endpoint(address_, port_).data(), static_cast<long long>(FIRST_REPORT_WAIT.count()));
  std::fflush(console_stream());
}

ServiceWatch::Clock::time_point ServiceWatch::next_due() const {
  return waiting_for_first_ ? hint_due_ : Clock::time_point::max();
}
