// Inputs that once crashed a fuzz target, replayed through the datagram path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/settings.h"
#include "intake/dispatch.h"
#include "intake/splitter.h"
#include "tests/support/file_text.h"
#include "tests/support/report_harness.h"

namespace {

class FuzzRegressions : public ReportTest {};

TEST_F(FuzzRegressions, EveryKeptInputPassesTheDatagramPath) {
  const std::filesystem::path folder =
      std::filesystem::path(PELLARIN_SOURCE_DIR) / "tests/intake/fuzz_regressions";
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string input = read_file(entry.path().string());
    for (const int width : {80, 0, -7, 20}) {
      settings.trace_flags = 0xFFFFFFFF;
      settings.display_width = width;
      std::vector<char> datagram(input.begin(), input.end());
      datagram.push_back('\0');
      // As the fuzzer does: the whole input, the splitter bounding itself.
      split_datagram(datagram.data(), input.size(), dispatch_report);
      take_output();
    }
    ++replayed;
  }
  if (replayed == 0) GTEST_SKIP() << "no fuzz finding kept yet in " << folder;
}

}  // namespace
