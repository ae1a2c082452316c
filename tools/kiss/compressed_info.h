// Compressed NET/ROM INFO: the pieces of each circuit's zlib blocks joined
// in a bounded, ageing table, and each complete block inflated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kiss {

// A block is one complete zlib stream that inflates to at most this.
inline constexpr size_t MAX_INFLATED = 8192;
// The longest joined block kept: what MAX_INFLATED bytes stored without
// compression take, and a little more for a sender's stream framing.
inline constexpr size_t MAX_COMPRESSED = MAX_INFLATED + 256;
// Bounded: the circuits heard least recently make room, and pieces left
// waiting for PIECES_IDLE_LIMIT seconds are dropped, since the rest of their
// block may never be heard.
inline constexpr size_t MAX_CIRCUITS = 64;
inline constexpr int64_t PIECES_IDLE_LIMIT = int64_t{5} * 60;

struct InflateOutcome {
  bool inflated = false;
  std::string text;   // the inflated bytes, when inflated
  std::string fault;  // why not, otherwise
};

// One zlib stream (RFC 1950) inflated, never to more than MAX_INFLATED bytes.
InflateOutcome inflate_block(std::span<const uint8_t> block);

// A circuit is known by the KISS port, its two nodes and its circuit.
struct CircuitKey {
  uint8_t port = 0;
  std::string source;
  std::string destination;
  std::string circuit;
  bool operator==(const CircuitKey&) const = default;
};

class CompressedInfoTable {
 public:
  struct Piece {
    uint8_t tx_seq = 0;
    std::span<const uint8_t> bytes;
    bool last = false;  // the frame without the more-to-follow flag
  };
  struct Joined {
    bool complete = false;  // `block` is a whole block
    size_t pieces = 0;      // the pieces of the block so far, this one included
    std::vector<uint8_t> block;
    std::string fault;  // the block was dropped, with why
  };

  // Takes one piece of a circuit heard at `now`. Whatever was dropped on
  // the way (pieces lost, repeated or waiting too long) is told in `notes`.
  Joined add(const CircuitKey& key, const Piece& piece, int64_t now,
             std::vector<std::string>& notes);
  size_t size() const { return blocks_.size(); }

 private:
  struct Block {
    CircuitKey key;
    uint8_t next_seq = 0;
    size_t pieces = 0;
    std::vector<uint8_t> bytes;
    int64_t last_heard = 0;
  };
  void forget_idle(int64_t now, std::vector<std::string>& notes);
  std::vector<Block> blocks_;
};

}  // namespace kiss
