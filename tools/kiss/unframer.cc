// KISS framing: cutting the byte stream from a TNC into frames.
#include "kiss/unframer.h"

#include "sim/log.h"

namespace kiss {

Unframer::Unframer(FrameSink frames, NoteSink notes)
    : frames_(std::move(frames)), notes_(std::move(notes)) {}

void Unframer::reset() {
  length_ = 0;
  escaped_ = false;
  discarding_ = false;
}

void Unframer::end_frame() {
  const bool discarded = discarding_;
  const size_t length = length_;
  reset();
  if (discarded || length == 0) return;
  const uint8_t command = buffer_[0] & 0x0F;
  const auto port = static_cast<uint8_t>(buffer_[0] >> 4);
  if (command != COMMAND_DATA) {
    notes_(sim::format_text("KISS port %u: command 0x%02X ignored", port, buffer_[0]));
    return;
  }
  frames_(KissFrame{port, std::span<const uint8_t>(buffer_.data() + 1, length - 1)});
}

void Unframer::feed(std::span<const uint8_t> bytes) {
  for (const uint8_t byte : bytes) {
    if (byte == FEND) {
      end_frame();
      continue;
    }
    if (discarding_) continue;
    uint8_t value = byte;
    if (escaped_) {
      escaped_ = false;
      if (byte == TFEND) {
        value = FEND;
      } else if (byte == TFESC) {
        value = FESC;
      } else {
        // The byte after FESC can only be TFEND or TFESC: the frame is
        // corrupt, and what it would decode to is not known.
        notes_(sim::format_text("KISS frame dropped: FESC followed by 0x%02X", byte));
        discarding_ = true;
        continue;
      }
    } else if (byte == FESC) {
      escaped_ = true;
      continue;
    }
    if (length_ == buffer_.size()) {
      notes_(sim::format_text("KISS frame dropped: longer than %zu bytes", MAX_KISS_FRAME));
      discarding_ = true;
      continue;
    }
    buffer_[length_++] = value;
  }
}

}  // namespace kiss
