// IP and ARP summaries.
#include "trace/ip_arp.h"

#include <array>
#include <string_view>

#include "app/settings.h"
#include "intake/field_lookup.h"
#include "output/channels.h"

namespace {

constexpr int IP_ADDRESS_LIMIT = 15;
constexpr int IP_FIELD_LIMIT = 8;
constexpr int ARP_FIELD_LIMIT = 79;

struct IpField {
  std::string_view key;
  int limit;
  const char* format;
};

// "ipProto" is the node's own protocol text and stands without a label.
constexpr IpField IP_FIELDS[] = {
    {"ipLen", 6, " iplen=%s"}, {"ipTTL", 3, " ttl=%s"}, {"ipID", 6, " id=%s"},
    {"ipPtcl", 6, " ptcl=%s"}, {"ipProto", 8, " %s"},
};

struct ArpField {
  std::string_view key;
  const char* label;
  bool begins_line;
};

// The protocol addresses and hardware addresses go on a second line, which
// only the sender's protocol address begins.
constexpr ArpField ARP_FIELDS[] = {
    {"arpHwType", " hwtype=", false}, {"arpHwLen", " hwlen=", false},
    {"arpPtcl", " prot=", false},     {"arpSndAddr", "snd=", true},
    {"arpTgtAddr", " tgt=", false},   {"arpSndHw", " snd_hw=", false},
    {"arpTgtHw", " tgt_hw=", false},
};

}  // namespace

void decode_ip(const char* report) {
  if (!trace_flag(TF_IP)) return;
  std::array<char, IP_ADDRESS_LIMIT + 1> from{};
  std::array<char, IP_ADDRESS_LIMIT + 1> to{};
  if (!get_field(report, "ipFrom", from, IP_ADDRESS_LIMIT) ||
      !get_field(report, "ipTo", to, IP_ADDRESS_LIMIT))
    return;
  out_print("%sIP: %s > %s", CONTINUATION, from.data(), to.data());
  std::array<char, IP_FIELD_LIMIT + 1> value{};
  for (const IpField& field : IP_FIELDS)
    if (get_field(report, field.key, value, field.limit)) out_print(field.format, value.data());
}

void decode_arp(const char* report) {
  if (!trace_flag(TF_ARP)) return;
  std::array<char, ARP_FIELD_LIMIT + 1> value{};
  if (!get_field(report, "arpOp", value, ARP_FIELD_LIMIT)) return;
  out_print("%sARP %s", CONTINUATION, value.data());
  for (const ArpField& field : ARP_FIELDS)
    if (get_field(report, field.key, value, ARP_FIELD_LIMIT))
      out_print("%s%s%s", field.begins_line ? CONTINUATION : "", field.label, value.data());
}
