// Datagram file reader and writer: byte-exact round trips and the faults a
// reader must name with their line.
#include "intake/datagram_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_environment.h"

namespace {

struct Parsed {
  std::string bytes;
  std::optional<std::int64_t> at_ms;
};

// Reads a whole file's text; false with `error` set at a fault, `records`
// then holding the records before it.
bool parse_datagram_text(const std::string& text, const std::string& name,
                         std::vector<Parsed>& records, std::string& error) {
  // A file rather than fmemopen, which Windows lacks.
  const TestFile file;
  std::FILE* in = file.stream();
  if (in == nullptr || std::fwrite(text.data(), 1, text.size(), in) != text.size()) {
    error = "no test file";
    return false;
  }
  std::rewind(in);
  DatagramFileReader reader(in, name);
  DatagramRecord record;
  while (reader.next(record)) records.push_back({std::string(record.view()), record.at_ms});
  error = reader.error();
  return error.empty();
}

std::string every_byte() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

struct RoundTrip {
  const char* name;
  std::string bytes;
  std::optional<std::int64_t> at_ms;
  char kind;  // the form the writer must choose
};

TEST(DatagramFileTest, WrittenRecordsReadBackByteForByte) {
  const std::vector<RoundTrip> cases = {
      {"json", R"({"@type":"L2Trace","text":"say \"hi\" \\ {}"})", std::nullopt, 'd'},
      {"every byte value", every_byte(), 12, 'x'},
      {"empty", "", std::nullopt, 'x'},
      {"trailing blank", R"({"port":"3"} )", 5, 'x'},
      {"leading blank", " {}", std::nullopt, 'd'},
      {"hash first", "#not a comment", std::nullopt, 'd'},
      {"line feed", "a\nb", std::nullopt, 'x'},
      {"carriage return", "{}\r", std::nullopt, 'x'},
      {"delete", "a\x7f", std::nullopt, 'x'},
      {"high bytes", "caf\xc3\xa9 \xff!", 0, 'd'},
      {"1500 bytes text", std::string(1500, 'z'), 999999999999, 'd'},
      {"1500 bytes hex", std::string(1500, '\0'), std::nullopt, 'x'},
  };
  std::string file;
  for (const RoundTrip& c : cases) {
    const std::string line(format_datagram_line(c.bytes, c.at_ms).view());
    const size_t kind_at = c.at_ms ? line.find(' ') + 1 : 0;
    EXPECT_EQ(line[kind_at], c.kind) << c.name;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << c.name;
    file += line;
  }
  std::vector<Parsed> records;
  std::string error;
  ASSERT_TRUE(parse_datagram_text(file, "f", records, error)) << error;
  ASSERT_EQ(records.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(records[i].bytes, cases[i].bytes) << cases[i].name;
    EXPECT_EQ(records[i].at_ms, cases[i].at_ms) << cases[i].name;
  }
}

TEST(DatagramFileTest, ReadsHandWrittenForms) {
  const std::string text =
      "# comment\n"
      "\n"
      "d {\"a\":\"\\\\\"}\n"
      "x\n"
      "x 7B 7d\n"
      "x 7b7d  0a\t41 \n"
      "@30 d  two blanks\n"
      "d \n"
      "d {\"no final line feed\"}";
  std::vector<Parsed> records;
  std::string error;
  ASSERT_TRUE(parse_datagram_text(text, "f", records, error)) << error;
  const std::vector<std::string> expected = {
      "{\"a\":\"\\\\\"}", "", "{}", "{}\nA", " two blanks", "", "{\"no final line feed\"}"};
  ASSERT_EQ(records.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(records[i].bytes, expected[i]) << i;
  EXPECT_EQ(records[4].at_ms, 30);
  EXPECT_FALSE(records[0].at_ms);
}

TEST(DatagramFileTest, RejectsMalformedLinesWithTheirNumber) {
  struct Bad {
    std::string line;
    const char* says;
  };
  const std::vector<Bad> cases = {
      {"y {}", "must begin with 'd ' or 'x '"},
      {" d {}", "must begin with 'd ' or 'x '"},
      {"d", "'d' needs a blank"},
      {"d{}", "'d' must be followed by one blank"},
      {"x7b", "'x' must be followed by one blank"},
      {"x 7", "bad hex digit pair"},
      {"x 7b 7", "bad hex digit pair"},
      {"x 7 b", "bad hex digit pair"},
      {"x 7g", "bad hex digit pair"},
      {"@ d {}", "'@' must be followed by milliseconds"},
      {"@12d {}", "followed by one blank"},
      {"@12", "followed by one blank"},
      {"@12 ", "missing record"},
      {"@-5 d {}", "'@' must be followed by milliseconds"},
      {"@99999999999999999999 d {}", "too large"},
      {"d " + std::string(1501, 'a'), "1501 bytes is over 1500"},
  };
  for (const Bad& c : cases) {
    const std::string text = "# header\nd {}\n" + c.line + "\nd {}\n";
    std::vector<Parsed> records;
    std::string error;
    EXPECT_FALSE(parse_datagram_text(text, "t.dgrams", records, error)) << c.line;
    EXPECT_TRUE(error.starts_with("t.dgrams:3: ")) << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
}

TEST(DatagramFileTest, RejectsHexRecordsOverTheDatagramLimit) {
  std::string line = "x";
  for (int i = 0; i < 1501; ++i) line += " 41";
  std::vector<Parsed> records;
  std::string error;
  EXPECT_FALSE(parse_datagram_text("d {}\n\n" + line, "big", records, error));
  EXPECT_TRUE(error.starts_with("big:3: ")) << error;
  EXPECT_NE(error.find("over 1500 bytes"), std::string::npos) << error;
  line.resize(line.size() - 3);
  records.clear();
  EXPECT_TRUE(parse_datagram_text(line, "big", records, error)) << error;
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].bytes, std::string(1500, 'A'));
}

}  // namespace

TEST(DatagramFileTest, RejectsALineLongerThanAReaderTakes) {
  const std::string blanks(MAX_RECORD_LINE, ' ');
  std::vector<Parsed> records;
  std::string error;
  EXPECT_FALSE(parse_datagram_text("d {}\nx 41" + blanks + "42\nd {}\n", "long", records, error));
  EXPECT_EQ(error, "long:2: line is longer than 8192 characters");
  ASSERT_EQ(records.size(), 1u);

  // The longest line a writer makes is read back.
  const std::string longest(
      format_datagram_line(std::string(MAX_DATAGRAM, '\n'), INT64_MAX).view());
  records.clear();
  EXPECT_TRUE(parse_datagram_text(longest, "longest", records, error)) << error;
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].bytes, std::string(MAX_DATAGRAM, '\n'));
}

TEST(DatagramFileTest, ATextRecordKeepsAZeroByte) {
  std::vector<Parsed> records;
  std::string error;
  const std::string line("d {\0}\n", 6);
  ASSERT_TRUE(parse_datagram_text(line, "zero", records, error)) << error;
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].bytes, std::string("{\0}", 3));
}

TEST(DatagramFileTest, WritesAtMostTheLargestDatagram) {
  const std::string line(format_datagram_line(std::string(MAX_DATAGRAM + 5, 'a'), 7).view());
  EXPECT_EQ(line, "@7 d " + std::string(MAX_DATAGRAM, 'a') + "\n");
}

TEST(DatagramFileTest, RecordingHeaderNamesNodeAndPort) {
  EXPECT_EQ(format_recording_header(0x7F030201, 7373, 3).view(),
            "# recorded from 127.3.2.1:7373, port 3\n");
  EXPECT_EQ(format_recording_header(0, 7373, 0).view(), "# recorded from 0.0.0.0:7373, port 0\n");
}
