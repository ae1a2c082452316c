// KISS framing: cutting the byte stream from a TNC into frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace kiss {

inline constexpr uint8_t FEND = 0xC0;
inline constexpr uint8_t FESC = 0xDB;
inline constexpr uint8_t TFEND = 0xDC;
inline constexpr uint8_t TFESC = 0xDD;

// The low nibble of a frame's first byte is the command; 0 carries data.
inline constexpr uint8_t COMMAND_DATA = 0x0;

// Longer than any AX.25 frame a TNC passes on (an I frame of 256 bytes of
// information with eight digipeaters is 330 bytes): a frame that grows past
// this is a stream out of step and is dropped.
inline constexpr size_t MAX_KISS_FRAME = 1024;

// One data frame: the KISS port (high nibble of the command byte) and the
// AX.25 frame without its command byte.
struct KissFrame {
  uint8_t port = 0;
  std::span<const uint8_t> ax25;
};

class Unframer {
 public:
  using FrameSink = std::function<void(const KissFrame&)>;
  // Told of whatever was dropped, for the -v log.
  using NoteSink = std::function<void(const std::string&)>;

  Unframer(FrameSink frames, NoteSink notes);

  // Takes the next bytes of the stream; every data frame they complete goes
  // to the frame sink before this returns.
  void feed(std::span<const uint8_t> bytes);

  // Forgets a frame in progress (the stream was broken off).
  void reset();

 private:
  void end_frame();

  FrameSink frames_;
  NoteSink notes_;
  std::array<uint8_t, MAX_KISS_FRAME> buffer_{};
  size_t length_ = 0;
  bool escaped_ = false;
  bool discarding_ = false;
};

}  // namespace kiss
