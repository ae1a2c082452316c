// Byte-vector files of the pellarin-kiss tests: a KISS stream in hex with
// the station's settings, then the expected reports, notes and trace.
#include "tests/kiss/vector_file.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "kiss/unframer.h"

namespace {

bool parse_hex(const std::string& words, std::vector<uint8_t>& bytes, std::string& error) {
  std::istringstream in(words);
  std::string word;
  while (in >> word) {
    if (word.size() != 2 || !std::isxdigit(static_cast<unsigned char>(word[0])) ||
        !std::isxdigit(static_cast<unsigned char>(word[1]))) {
      error = "bad hex byte '" + word + "'";
      return false;
    }
    bytes.push_back(static_cast<uint8_t>(std::stoi(word, nullptr, 16)));
  }
  return true;
}

}  // namespace

std::vector<std::string> vector_names() {
  std::vector<std::string> names;
  if (DIR* dir = opendir(PELLARIN_KISS_VECTORS)) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.ends_with(".vec")) names.push_back(name.substr(0, name.size() - 4));
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool parse_vector(const std::string& text, VectorCase& vector, std::string& error) {
  enum class Section { HEADER, REPORTS, NOTES, TRACE } section = Section::HEADER;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t next = end + 1;
    if (section == Section::TRACE) {
      vector.trace = text.substr(start);
      break;
    }
    if (line == "== reports") {
      section = Section::REPORTS;
    } else if (line == "== notes") {
      section = Section::NOTES;
    } else if (line == "== trace") {
      section = Section::TRACE;
    } else if (section == Section::REPORTS) {
      if (!line.empty()) vector.reports.push_back(line);
    } else if (section == Section::NOTES) {
      if (!line.empty()) vector.notes.push_back(line);
    } else {
      vector.header += line + "\n";
      if (line.starts_with("kiss ")) {
        if (!parse_hex(line.substr(5), vector.stream, error)) return false;
      } else if (line.starts_with("own ")) {
        vector.station.own_calls.push_back(line.substr(4));
      } else if (line.starts_with("port ")) {
        vector.station.port = static_cast<unsigned>(std::stoul(line.substr(5)));
      } else if (!line.empty() && !line.starts_with("#")) {
        error = "unknown line '" + line + "'";
        return false;
      }
    }
    start = next;
  }
  if (vector.stream.empty()) {
    error = "no kiss bytes";
    return false;
  }
  return true;
}

bool load_vector(const std::string& name, VectorCase& vector, std::string& error) {
  std::ifstream in(std::string(PELLARIN_KISS_VECTORS) + "/" + name + ".vec");
  std::stringstream text;
  text << in.rdbuf();
  return parse_vector(text.str(), vector, error);
}

std::string format_vector(const VectorCase& vector) {
  std::string text = vector.header + "== reports\n";
  for (const std::string& report : vector.reports) text += report + "\n";
  text += "== notes\n";
  for (const std::string& note : vector.notes) text += note + "\n";
  return text + "== trace\n" + vector.trace;
}

DecodedVector decode_vector(const VectorCase& vector) {
  DecodedVector decoded;
  kiss::StationSettings station = vector.station;
  station.report_from = "N0DE";
  kiss::FrameDecoder decoder(station);
  int64_t time = VECTOR_START_TIME;
  kiss::Unframer unframer(
      [&](const kiss::KissFrame& frame) {
        for (std::string& report : decoder.decode(frame, time++, decoded.notes)) {
          decoded.reports.push_back(std::move(report));
        }
      },
      [&](const std::string& note) { decoded.notes.push_back(note); });
  unframer.feed(vector.stream);
  return decoded;
}
