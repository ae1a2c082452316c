// pellarin --read: a datagram file instead of the node, from a file or a
// pipe, at full speed or at the recorded pace, in the same memory however
// long the file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

const std::string PELLARIN = PELLARIN_BINARY;

const std::string NODE_UP =
    R"(d {"@type":"NodeUpEvent","nodeCall":"N0DE","nodeAlias":"HUB","time":45296})";
const std::string NODE_DOWN = R"(d {"@type":"NodeDownEvent","nodeCall":"G4ABC","time":45300})";
const std::string NODE_UP_TRACE = "12:34:56 N0DE:HUB <NODE UP>\n";
const std::string NODE_DOWN_TRACE = "12:35:00 G4ABC <NODE DOWN>\n  \n";

class ReadFile : public ::testing::Test {
 protected:

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  TestDir work_;
  std::string dir_ = work_.path();
};

TEST_F(ReadFile, PositionalArgumentsKeepTheirMeaning) {
  const std::string file = path("ports.dgrams");
  write_file(
      file,
      R"(d {"@type":"L2Trace","time":45296,"reportFrom":"N0DE","port":"3","srce":"G4ABC","dest":"G4XYZ","l2Type":"UI"})"
      "\n"
      R"(d {"@type":"L2Trace","time":45296,"reportFrom":"N0DE","port":"4","srce":"M0PQR","dest":"G4XYZ","l2Type":"UI"})"
      "\n");
  const std::string capture = path("capture.txt");
  const ProcessResult result =
      run_process({PELLARIN, "3", "--read", file, "-c", "-s", "-L", "-O", capture});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(read_file(capture),
            "Showing frames to/from port (3) only\nTime stamp disabled\n"
            "Suppressing line break between reports\n(3)  G4ABC>G4XYZ <UI>\n");
  EXPECT_EQ(result.err, "");
}

TEST_F(ReadFile, MalformedLineStopsAfterEverythingBeforeIt) {
  const std::string file = path("broken.dgrams");
  write_file(file,
             "# an evening at N0DE\n" + NODE_UP + "\n\ny " + NODE_DOWN + "\n" + NODE_DOWN + "\n");
  const std::string capture = path("capture.txt");
  const ProcessResult result =
      run_process({PELLARIN, "0", "-d", "-c", "--read", file, "-O", capture});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(read_file(capture),
            "Showing frames to/from all ports\nIncluding node status reports\n\n" + NODE_UP_TRACE);
  const std::string message =
      "Stopped reading at " + file + ":4: record must begin with 'd ' or 'x ', not 'y'\n";
  EXPECT_TRUE(result.out.ends_with(NODE_UP_TRACE + message)) << result.out;
}

TEST_F(ReadFile, UnopenableFileFailsAtStartUp) {
  const ProcessResult result = run_process({PELLARIN, "--read", dir_ + "/missing.dgrams"});
  EXPECT_EQ(result.status, 255);
  EXPECT_TRUE(result.out.ends_with("Can't open datagram file '" + dir_ + "/missing.dgrams'\n"))
      << result.out;
  EXPECT_EQ(result.err, dir_ + "/missing.dgrams: No such file or directory\n");
}

TEST_F(ReadFile, DashReadsStandardInputFromAPipe) {
  const std::string file = path("piped.dgrams");
  write_file(file, NODE_UP + "\n" + NODE_DOWN + "\n");
  const std::string out = path("out.txt");
  const std::string err = path("err.txt");
  ScopedProcess shell(spawn_process(
      {"/bin/sh", "-c", "cat \"$1\" | ${PELLARIN_LAUNCHER:-} \"$0\" 0 -d -c --read -", PELLARIN,
       file},
      out, err));
  EXPECT_EQ(shell.wait(10000), 0);
  EXPECT_TRUE(read_file(out).ends_with("\n" + NODE_UP_TRACE + "\n" + NODE_DOWN_TRACE))
      << read_file(out);
  EXPECT_EQ(read_file(err), "");
}

double seconds_to_read(const std::vector<std::string>& args) {
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult result = run_process(args, 20000);
  EXPECT_EQ(result.status, 0) << result.out;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(ReadFile, RecordedPaceKeepsTheTimesAndFastDoesNot) {
  // The first time is not 0: a file cut out of a longer recording starts
  // at once.
  const std::string file = path("paced.dgrams");
  write_file(file, "@60000 " + NODE_UP + "\n@60500 " + NODE_DOWN + "\n@61000 " + NODE_UP + "\n");
  const double paced =
      seconds_to_read({PELLARIN, "0", "-d", "-q", "--read", file, "--pace", "recorded"});
  EXPECT_GE(paced, 0.98);
  EXPECT_LT(paced, 10.0);
  EXPECT_LT(seconds_to_read({PELLARIN, "0", "-d", "-q", "--read", file}), 0.95);
}

// Runs the client on a file of `count` datagrams, console and capture
// discarded, and returns its peak resident size in kilobytes. Every
// datagram is read, split and dispatched; one in a hundred, a node report,
// is also formatted (L2 traces are switched off: formatting them all would
// only make the test slow).
long peak_kilobytes_reading(const std::string& file, int count) {
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < count; ++i) {
      if (i % 100 == 0) {
        out << R"(d {"@type":"NodeStatus","nodeCall":"N0DE","uptimeSecs":)" << i << "}\n";
        continue;
      }
      out << R"(d {"@type":"L2Trace","time":)" << 45296 + i
          << R"(,"reportFrom":"N0DE","port":"1","srce":"G4ABC","dest":"G4XYZ","l2Type":"I",)"
          << R"("cr":"C","ilen":12,"pid":"F0","ptcl":"DATA","text":"line )" << i << "\"}\n";
    }
  }
  const pid_t pid =
      spawn_process({PELLARIN, "0", "-q", "-2", "-d", "--read", file}, "/dev/null", "/dev/null");
  int status = 0;
  rusage usage{};
  EXPECT_EQ(wait4(pid, &status, 0, &usage), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::remove(file.c_str());
  return usage.ru_maxrss;
}

TEST_F(ReadFile, AHundredThousandDatagramsTakeNoMoreMemoryThanAThousand) {
  const long small = peak_kilobytes_reading(dir_ + "/small.dgrams", 1000);
  const long large = peak_kilobytes_reading(dir_ + "/large.dgrams", 100000);
  // A reader that kept every record would need tens of megabytes more.
  EXPECT_LT(large, small + 2048) << small << " kB for 1,000; " << large << " kB for 100,000";
  std::cout << "peak " << small << " kB for 1,000 datagrams, " << large << " kB for 100,000\n";
}

}  // namespace
