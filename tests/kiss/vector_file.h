// Byte-vector files of the pellarin-kiss tests: a KISS stream in hex with
// the station's settings, then the expected reports, notes and trace.
//
//   # comments, before the first section
//   own G4XYZ             calls given with --own (optional)
//   port 5                --port (optional)
//   kiss C0 00 96 ...     bytes of the stream; several lines follow on
//   == reports            one report per line
//   == notes              what -v says, one note per line
//   == trace              pellarin's text for the reports, to the end
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kiss/decoder.h"

// Time of the first frame of every vector; each further frame is a second later.
inline constexpr int64_t VECTOR_START_TIME = 1765024496;

struct VectorCase {
  std::string header;  // the lines before the first section, as written
  kiss::StationSettings station;
  std::vector<uint8_t> stream;
  std::vector<std::string> reports;
  std::vector<std::string> notes;
  std::string trace;
};

// The names of the vector files (without ".vec"), in order.
std::vector<std::string> vector_names();

bool parse_vector(const std::string& text, VectorCase& vector, std::string& error);
// parse_vector of the file NAME.vec among the vectors.
bool load_vector(const std::string& name, VectorCase& vector, std::string& error);
std::string format_vector(const VectorCase& vector);

struct DecodedVector {
  std::vector<std::string> reports;
  std::vector<std::string> notes;
};

// The stream through the unframer and the decoder (reporting node N0DE).
DecodedVector decode_vector(const VectorCase& vector);
