// Byte vectors: KISS streams of hand-made frames, the reports pellarin-kiss
// makes of them, what it says it skipped, and what pellarin prints for those
// reports. PELLARIN_KISS_VECTORS_UPDATE=1 writes the actual results into the
// files instead, for a person to review.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "kiss/decoder.h"
#include "kiss/report.h"
#include "kiss/unframer.h"
#include "tests/kiss/vector_file.h"
#include "tests/support/report_harness.h"
#include "tests/support/strict_json.h"

namespace {

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class KissVector : public ReportTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(KissVector, ReportsNotesAndTrace) {
  const std::string path = std::string(PELLARIN_KISS_VECTORS) + "/" + GetParam() + ".vec";
  VectorCase vector;
  std::string error;
  ASSERT_TRUE(load_vector(GetParam(), vector, error)) << path << ": " << error;

  const DecodedVector decoded = decode_vector(vector);
  for (const std::string& report : decoded.reports) {
    EXPECT_TRUE(is_strict_json_object(report)) << report;
    EXPECT_LE(report.size(), kiss::MAX_REPORT) << report;
  }

  flags(TF_WARNINGS, TF_TIMESTAMP | TF_COLOUR);
  std::string trace;
  for (const std::string& report : decoded.reports) trace += feed(report).console;

  if (std::getenv("PELLARIN_KISS_VECTORS_UPDATE") != nullptr) {
    vector.reports = decoded.reports;
    vector.notes = decoded.notes;
    vector.trace = trace;
    std::ofstream(path) << format_vector(vector);
    GTEST_SKIP() << "wrote " << path;
  }
  EXPECT_EQ(join_lines(vector.reports), join_lines(decoded.reports));
  EXPECT_EQ(join_lines(vector.notes), join_lines(decoded.notes));
  EXPECT_EQ(visible(vector.trace), visible(trace));
}

INSTANTIATE_TEST_SUITE_P(Vectors, KissVector, ::testing::ValuesIn(vector_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
