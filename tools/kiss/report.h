// Report objects of pellarin-kiss: the JSON text of one frame's reports,
// kept within the trace service's datagram size, with every value that comes
// from the frame's bytes cleaned for the client's field lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/json.h"

namespace kiss {

// A report travels alone in one datagram, which the service keeps to this.
inline constexpr size_t MAX_REPORT = 1500;

// The client reads a value from its opening quote to the next quote without
// decoding escapes, so a value must hold no quote, and nothing that would
// show as an escape: '"' becomes '\'', '\\' becomes '/', a line end or tab
// becomes a blank, any other control byte and every byte from 0x7F up
// becomes '.'. One byte in, one byte out: a cleaned value is as long as the
// bytes it came from.
std::string clean_text(std::span<const uint8_t> bytes);
std::string clean_text(std::string_view text);

// The reports of one frame, built in parts: the scalar members first, then
// at most one long text value, then at most one array of entries that may be
// spread over several reports, then the digipeater path.
class FrameReport {
 public:
  // The scalar members, in the order added. String values are cleaned.
  sim::JsonObject& head() { return head_; }

  // The long text value: cut to what fits in the report, left out when empty.
  void set_text(std::string_view key, std::string_view value);

  // The array of entries and its key; a report that cannot hold all of them
  // is followed by more reports with the same head and the rest.
  void set_entries_key(std::string_view key) { entries_key_ = key; }
  void add_entry(const sim::JsonObject& entry) { entries_.push_back(entry.text()); }
  bool has_entries_key() const { return !entries_key_.empty(); }

  // The digipeaters: their calls as an array of strings, last in the report
  // (a string array holds no colon, so no call in it can pass for a key).
  void add_digi(std::string_view call) { digis_.emplace_back(call); }

  // Each report as the text of one JSON object, numbered from `serial`.
  // `cut_text` is set when the text had to be cut.
  std::vector<std::string> build(uint64_t& serial, bool& cut_text) const;

 private:
  sim::JsonObject head_;
  std::string text_key_;
  std::string text_;
  std::string entries_key_;
  std::vector<std::string> entries_;
  std::vector<std::string> digis_;
};

}  // namespace kiss
