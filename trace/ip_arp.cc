// IP and ARP summaries.
#include "trace/ip_arp.h"

#include <string_view>

#include "app/settings.h"
#include "intake/field.h"
#include "output/channels.h"

namespace {

constexpr int IP_ADDRESS_LIMIT = 15;
constexpr int IP_FIELD_LIMIT = 8;
constexpr int ARP_FIELD_LIMIT = 79;

struct IpField {
  consteval IpField(std::string_view key, int limit, const char* format)
      : key(key), limit(limit), format(format, "s") {}
  std::string_view key;
  int limit;
  TableFormat format;
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

void decode_ip(const char* report, TraceText& text) {
  if (!trace_flag(TF_IP)) return;
  Field<IP_ADDRESS_LIMIT> from;
  Field<IP_ADDRESS_LIMIT> to;
  if (!from.read(report, "ipFrom") || !to.read(report, "ipTo")) return;
  text.add("%sIP: %s > %s", CONTINUATION, from.shown(), to.shown());
  Field<IP_FIELD_LIMIT> value;
  for (const IpField& field : IP_FIELDS)
    if (value.read(report, field.key, field.limit)) text.add(field.format.text(), value.shown());
}

void decode_arp(const char* report, TraceText& text) {
  if (!trace_flag(TF_ARP)) return;
  Field<ARP_FIELD_LIMIT> value;
  if (!value.read(report, "arpOp")) return;
  text.add("%sARP %s", CONTINUATION, value.shown());
  for (const ArpField& field : ARP_FIELDS)
    if (value.read(report, field.key))
      text.add("%s%s%s", field.begins_line ? CONTINUATION : "", field.label, value.shown());
}
