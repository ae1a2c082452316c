// From one AX.25 frame to the trace reports a node would send for it.
#include "kiss/decoder.h"

#include <algorithm>
#include <string_view>

#include "kiss/ip_arp.h"
#include "kiss/netrom.h"
#include "kiss/report.h"
#include "sim/log.h"

namespace kiss {

namespace {

constexpr uint8_t PID_NETROM = 0xCF;
constexpr uint8_t PID_IP = 0xCC;
constexpr uint8_t PID_ARP = 0xCD;
constexpr uint8_t PID_TEXT = 0xF0;

constexpr uint8_t PF_BIT = 0x10;

struct UFrame {
  uint8_t control;  // with the P/F bit clear
  std::string_view name;
};
constexpr UFrame U_FRAMES[] = {
    {0x2F, "SABM"}, {0x6F, "SABME"}, {0x43, "DISC"}, {0x0F, "DM"},   {0x63, "UA"},
    {0x87, "FRMR"}, {0x03, "UI"},    {0xAF, "XID"},  {0xE3, "TEST"},
};
constexpr std::string_view S_FRAMES[] = {"RR", "RNR", "REJ", "SREJ"};

struct AddressField {
  std::vector<Ax25Address> addresses;  // destination, source, digipeaters
  size_t length = 0;
  std::string fault;
};

AddressField read_address_field(std::span<const uint8_t> frame) {
  AddressField field;
  for (size_t i = 0; i < 2 + MAX_DIGIS; ++i) {
    const size_t at = i * ADDRESS_LENGTH;
    if (at + ADDRESS_LENGTH > frame.size()) {
      field.fault = sim::format_text("address field cut short at %zu bytes", frame.size());
      return field;
    }
    const auto address =
        read_address(std::span<const uint8_t, ADDRESS_LENGTH>(frame.data() + at, ADDRESS_LENGTH));
    if (!address) {
      field.fault = sim::format_text("bad address byte in address %zu", i + 1);
      return field;
    }
    field.addresses.push_back(*address);
    if (address->last) {
      if (i == 0) {
        field.fault = "address field ends after the destination";
        return field;
      }
      field.length = at + ADDRESS_LENGTH;
      return field;
    }
  }
  field.fault = "address field without an end within eight digipeaters";
  return field;
}

std::string upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

std::string_view bytes_text(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::vector<std::string> FrameDecoder::decode(const KissFrame& frame, int64_t time,
                                              std::vector<std::string>& notes) {
  FrameReport report;
  sim::JsonObject& head = report.head();
  const AddressField field = read_address_field(frame.ax25);
  const std::vector<Ax25Address>& addresses = field.addresses;
  const bool has_source = addresses.size() >= 2;
  const bool own = has_source && std::ranges::find(settings_.own_calls, upper(addresses[1].call)) !=
                                     settings_.own_calls.end();
  head.num("time", time)
      .str("reportFrom", clean_text(settings_.report_from))
      .str("port", std::to_string(settings_.port.value_or(frame.port)))
      .boolean("isRF", settings_.is_rf)
      .str("dirn", own ? "sent" : "rcvd");
  if (has_source) head.str("srce", addresses[1].call);
  if (!addresses.empty()) head.str("dest", addresses[0].call);
  for (size_t i = 2; i < addresses.size(); ++i) {
    report.add_digi(addresses[i].call + (addresses[i].high_bit ? "*" : ""));
  }

  if (field.fault.empty()) {
    decode_control(report, frame.port, addresses, frame.ax25.subspan(field.length), time, notes);
  } else {
    notes.push_back(field.fault);
  }

  bool cut_text = false;
  std::vector<std::string> reports = report.build(serial_, cut_text);
  if (cut_text) notes.emplace_back("text cut to fit the report");
  return reports;
}

void FrameDecoder::decode_control(FrameReport& report, uint8_t kiss_port,
                                  const std::vector<Ax25Address>& addresses,
                                  std::span<const uint8_t> rest, int64_t time,
                                  std::vector<std::string>& notes) {
  sim::JsonObject& head = report.head();
  if (rest.empty()) {
    notes.emplace_back("no control field");
    return;
  }
  const Ax25Address& dest = addresses[0];
  const Ax25Address& srce = addresses[1];
  const LinkKey key = link_key(kiss_port, srce.call, dest.call);
  // Version 2 marks commands and responses by opposite C bits; equal bits
  // (version 1) say neither.
  const char* cr = dest.high_bit != srce.high_bit ? (dest.high_bit ? "C" : "R") : nullptr;
  const char* poll_final = cr != nullptr && *cr == 'R' ? "F" : "P";

  const uint8_t control = rest[0];
  size_t header = 1;
  bool carries_pid = false;
  std::string_view type;
  bool pf = false;
  std::optional<unsigned> rseq;
  std::optional<unsigned> tseq;
  bool modulo_128 = false;

  if ((control & 0x03) == 0x03) {
    const uint8_t plain = control & ~PF_BIT;
    pf = (control & PF_BIT) != 0;
    const auto known = std::ranges::find(U_FRAMES, plain, &UFrame::control);
    if (known != std::end(U_FRAMES)) type = known->name;
    if (type == "SABME") {
      links_.set_extended(key, time);
    } else if (type == "UA") {
      links_.extended(key, time);
    } else if (type == "SABM" || type == "DISC" || type == "DM") {
      links_.clear(key);
    }
    carries_pid = type == "UI";
  } else {
    const bool is_i = (control & 0x01) == 0;
    type = is_i ? std::string_view("I") : S_FRAMES[(control >> 2) & 0x03];
    carries_pid = is_i;
    if (links_.extended(key, time)) {
      header = 2;
      modulo_128 = true;
      if (is_i) tseq = control >> 1;
      if (rest.size() < 2) {
        notes.emplace_back("modulo-128 control field cut short");
        head.str("l2Type", type);
        if (cr != nullptr) head.str("cr", cr);
        if (tseq) head.num("tseq", *tseq);
        return;
      }
      pf = (rest[1] & 0x01) != 0;
      rseq = rest[1] >> 1;
    } else {
      pf = (control & PF_BIT) != 0;
      rseq = control >> 5;
      if (is_i) tseq = (control >> 1) & 0x07;
    }
  }

  if (type.empty()) {
    head.str("l2Type", "U?").str("control", sim::format_text("%02X", control));
    notes.push_back(sim::format_text("control byte 0x%02X not decoded", control));
  } else {
    head.str("l2Type", type);
  }
  if (cr != nullptr) head.str("cr", cr);
  if (pf) head.str("pf", poll_final);
  if (rseq) head.num("rseq", *rseq);
  if (tseq) head.num("tseq", *tseq);
  if (modulo_128) head.num("modulo", 128);

  if (!carries_pid) {
    if (rest.size() > header) head.num("ilen", static_cast<int64_t>(rest.size() - header));
    return;
  }
  if (rest.size() <= header) {
    notes.push_back(
        sim::format_text("%.*s frame without its PID", static_cast<int>(type.size()), type.data()));
    return;
  }
  const uint8_t pid = rest[header];
  const std::span<const uint8_t> info = rest.subspan(header + 1);
  head.num("ilen", static_cast<int64_t>(info.size())).str("pid", sim::format_text("%02X", pid));
  switch (pid) {
    case PID_NETROM:
      head.str("ptcl", "NET/ROM");
      decode_netrom(report, info,
                    NetRomCarrier{type == "UI", type == "I", dest.call, kiss_port, time},
                    compressed_, notes);
      break;
    case PID_TEXT:
      head.str("ptcl", "DATA");
      report.set_text("text", bytes_text(info));
      break;
    case PID_IP:
      head.str("ptcl", "IP");
      decode_ip(report, info, notes);
      break;
    case PID_ARP:
      head.str("ptcl", "ARP");
      decode_arp(report, info, notes);
      break;
    default:
      if (!info.empty())
        notes.push_back(sim::format_text("PID 0x%02X: information not decoded", pid));
  }
}

}  // namespace kiss
