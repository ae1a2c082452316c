// Where the tests of one build tree may work: their own loopback addresses
// and their own folder for files, so that two build trees (dev and asan, or
// two checkouts) can run their suites at the same time.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

// 127.<octet of this build tree>.<group>.<host>. Groups: 0-99 the golden
// cases (numbered by the build), 100-119 the client's end-to-end tests,
// 120-139 the emulator's, 140-159 the KISS bridge's.
inline std::string test_address(int group, int host) {
  return std::string(PELLARIN_TEST_NET) + "." + std::to_string(group) + "." + std::to_string(host);
}

// A fresh folder in the build tree, removed with everything in it when the
// test is done, whether it passed or not; the system's temporary folder is
// never used.
class TestDir {
 public:
  TestDir() {
    const std::filesystem::path root = PELLARIN_TEST_TEMP_ROOT;
    std::filesystem::create_directories(root);
    for (int attempt = 0;; ++attempt) {
      path_ = root / (std::to_string(getpid()) + "-" + std::to_string(next_number()++) + "-" +
                      std::to_string(attempt));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TestDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;

  const std::string path() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  static int& next_number() {
    static int number = 0;
    return number;
  }
  std::filesystem::path path_;
};

// A file for reading and writing (binary), removed when done with, in a
// folder of the process's own that is made once (folders are slow to make
// and remove under Wine). Not std::tmpfile: on Windows two test processes
// running at once can be handed the same temporary file, or none.
class TestFile {
 public:
  TestFile()
      : path_(folder() / std::to_string(next_number()++)),
        stream_(std::fopen(path_.c_str(), "w+b")) {}
  ~TestFile() {
    if (stream_ != nullptr) std::fclose(stream_);
    std::remove(path_.c_str());
  }
  TestFile(const TestFile&) = delete;
  TestFile& operator=(const TestFile&) = delete;

  std::FILE* stream() const { return stream_; }

 private:
  static const TestDir& folder() {
    static const TestDir dir;
    return dir;
  }
  static int& next_number() {
    static int number = 0;
    return number;
  }
  std::string path_;
  std::FILE* stream_;
};

// A fresh folder in the build tree for a test that removes its own files.
inline std::string make_test_dir() {
  const std::filesystem::path root = PELLARIN_TEST_TEMP_ROOT;
  std::filesystem::create_directories(root);
  for (int attempt = 0;; ++attempt) {
    const std::filesystem::path path =
        root / ("own-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
    if (std::filesystem::create_directory(path)) return path.string();
  }
}
