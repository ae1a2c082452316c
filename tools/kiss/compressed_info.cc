// Compressed NET/ROM INFO: the pieces of each circuit's zlib blocks joined
// in a bounded, ageing table, and each complete block inflated.
#include "kiss/compressed_info.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

#include "sim/log.h"

namespace kiss {

InflateOutcome inflate_block(std::span<const uint8_t> block) {
  InflateOutcome outcome;
  if (block.size() > std::numeric_limits<uInt>::max()) {
    outcome.fault = "block too long";
    return outcome;
  }
  // One byte more than a block may inflate to tells a longer one apart.
  std::array<uint8_t, MAX_INFLATED + 1> out{};
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    outcome.fault = "zlib cannot start";
    return outcome;
  }
  // zlib reads through a non-const pointer but never writes there.
  stream.next_in = const_cast<Bytef*>(block.data());
  stream.avail_in = static_cast<uInt>(block.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_FINISH);
  const size_t produced = out.size() - stream.avail_out;
  if (produced > MAX_INFLATED) {
    outcome.fault = sim::format_text("inflates to more than %zu bytes", MAX_INFLATED);
  } else if (status == Z_STREAM_END && stream.avail_in == 0) {
    outcome.inflated = true;
    outcome.text.assign(reinterpret_cast<const char*>(out.data()), produced);
  } else if (status == Z_STREAM_END) {
    outcome.fault = sim::format_text("%u bytes after the end of the stream", stream.avail_in);
  } else if (status == Z_BUF_ERROR) {
    outcome.fault = "stream cut short";
  } else {
    outcome.fault = stream.msg != nullptr ? stream.msg : "not a zlib stream";
  }
  inflateEnd(&stream);
  return outcome;
}

void CompressedInfoTable::forget_idle(int64_t now, std::vector<std::string>& notes) {
  std::erase_if(blocks_, [&](const Block& block) {
    if (now - block.last_heard <= PIECES_IDLE_LIMIT) return false;
    notes.push_back(sim::format_text("compressed INFO: %zu pieces of circuit %s dropped unfinished",
                                     block.pieces, block.key.circuit.c_str()));
    return true;
  });
}

CompressedInfoTable::Joined CompressedInfoTable::add(const CircuitKey& key, const Piece& piece,
                                                     int64_t now, std::vector<std::string>& notes) {
  forget_idle(now, notes);
  Joined joined;
  auto found = std::ranges::find(blocks_, key, &Block::key);
  if (found != blocks_.end() && piece.tx_seq != found->next_seq) {
    if (static_cast<uint8_t>(piece.tx_seq + 1) == found->next_seq && !piece.last) {
      // A piece sent again, its first copy already joined.
      notes.push_back(sim::format_text("compressed INFO: piece S%u heard again, not joined twice",
                                       piece.tx_seq));
      found->last_heard = std::max(found->last_heard, now);
      joined.pieces = found->pieces;
      return joined;
    }
    notes.push_back(
        sim::format_text("compressed INFO: S%u where S%u was due; %zu pieces of circuit %s dropped",
                         piece.tx_seq, found->next_seq, found->pieces, key.circuit.c_str()));
    blocks_.erase(found);
    found = blocks_.end();
  }
  if (found == blocks_.end()) {
    if (blocks_.size() >= MAX_CIRCUITS) {
      const auto oldest = std::ranges::min_element(blocks_, {}, &Block::last_heard);
      notes.push_back(sim::format_text("compressed INFO: %zu pieces of circuit %s dropped for room",
                                       oldest->pieces, oldest->key.circuit.c_str()));
      blocks_.erase(oldest);
    }
    found = blocks_.insert(blocks_.end(), Block{key, piece.tx_seq, 0, {}, now});
  }
  Block& block = *found;
  if (block.bytes.size() + piece.bytes.size() > MAX_COMPRESSED) {
    joined.pieces = block.pieces + 1;
    joined.fault = sim::format_text("block longer than %zu bytes", MAX_COMPRESSED);
    blocks_.erase(found);
    return joined;
  }
  block.bytes.insert(block.bytes.end(), piece.bytes.begin(), piece.bytes.end());
  block.next_seq = static_cast<uint8_t>(piece.tx_seq + 1);
  block.last_heard = std::max(block.last_heard, now);
  joined.pieces = ++block.pieces;
  if (piece.last) {
    joined.complete = true;
    joined.block = std::move(block.bytes);
    blocks_.erase(found);
  }
  return joined;
}

}  // namespace kiss
