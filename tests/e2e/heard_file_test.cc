// pellarin --heard-file: the heard list saved whole and read back at the
// next start; a SIGKILL during saves, a file that cannot be read, a full
// disk and a second client each leave the list and the file safe.
#include "heard/heard_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

const std::string PELLARIN = PELLARIN_BINARY;
const std::string SIM = PELLARIN_SIM_BINARY;

// Reports of one frame each from `stations` calls M0Q000, M0Q001, ...,
// received on port 1, five reports to a datagram.
std::string session(int stations, int rounds = 1) {
  std::string text;
  int serial = 0;
  for (int round = 0; round < rounds; ++round) {
    for (int first = 0; first < stations; first += 5) {
      text += "d ";
      for (int station = first; station < first + 5 && station < stations; ++station) {
        char call[16];
        std::snprintf(call, sizeof call, "M0Q%03d", station);
        ++serial;
        text += R"({"@type":"L2Trace","serial":)" + std::to_string(serial) + R"(,"time":)" +
                std::to_string(1765003600 + serial) +
                R"(,"reportFrom":"N0DE","port":"1","isRF":true,"dirn":"rcvd","srce":")" + call +
                R"(","dest":"N0DE","l2Type":"UI","cr":"C","ilen":5,"pid":240,"ptcl":"DATA"})";
      }
      text += "\n";
    }
  }
  return text;
}

// The rows of one kind in a heard file, each a map from the column names
// that the file's own "# KIND\t..." line gives.
std::vector<std::map<std::string, std::string>> rows(const std::string& text,
                                                     const std::string& kind) {
  std::vector<std::string> names;
  std::vector<std::map<std::string, std::string>> found;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    if (fields.empty()) continue;
    if (fields[0] == "# " + kind) names = fields;
    if (fields[0] != kind || names.size() != fields.size()) continue;
    std::map<std::string, std::string> row;
    for (std::size_t i = 1; i < fields.size(); ++i) row[names[i]] = fields[i];
    found.push_back(row);
  }
  return found;
}

// The frames heard from a call, as the file says; -1 when it is not there.
long heard_from(const std::string& text, const std::string& call) {
  for (const auto& row : rows(text, "station"))
    if (row.at("call") == call) return std::stol(row.at("heard"));
  return -1;
}

// Whether the file is whole: it parses with the client's own reader.
bool parses(const std::string& path, std::string& error) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    error = "cannot open";
    return false;
  }
  static HeardTables tables;
  const bool read = read_heard_file(in, tables, error);
  std::fclose(in);
  return read;
}

class HeardFile : public ::testing::Test {
 protected:
  TestDir work_;
  std::string dir_ = work_.path();
  std::string heard_ = dir_ + "/heard.txt";

  std::string datagrams(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    write_file(path, text);
    return path;
  }

  // pellarin --read FILE --heard-file heard_, to its end.
  ProcessResult read_into_heard(const std::string& datagram_file,
                                const std::string& heard_path = "") {
    return run_process({PELLARIN, "0", "-q", "--read", datagram_file, "--heard-file",
                        heard_path.empty() ? heard_ : heard_path});
  }

  pid_t start_live(int host, const std::string& heard_path, const std::string& name) {
    return spawn_process(
        {PELLARIN, "0", test_address(117, host), "-q", "-c", "--heard-file", heard_path},
        dir_ + "/" + name + ".out", dir_ + "/" + name + ".err");
  }
};

TEST_F(HeardFile, SavedLiveAndAtTheEndAndTheCountsGoOnAfterARestart) {
  const std::string played = datagrams("session.dgrams", session(20, 3));
  ScopedProcess sim(spawn_process(
      {SIM, "replay", played, "--bind", test_address(117, 1), "--rate", "200", "--exit-when-done"},
      dir_ + "/sim.out", dir_ + "/sim.err"));
  ScopedProcess client(start_live(1, heard_, "live"));
  EXPECT_EQ(sim.wait(20000), 0) << read_file(dir_ + "/sim.err");
  // SIGUSR1 saves while the client runs on.
  for (int tries = 0; tries < 100 && heard_from(read_file(heard_), "M0Q019") != 3; ++tries) {
    kill(client.pid(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::string saved = read_file(heard_);
  EXPECT_EQ(heard_from(saved, "M0Q000"), 3) << saved;
  EXPECT_EQ(heard_from(saved, "M0Q019"), 3) << saved;
  EXPECT_EQ(client.stop(SIGTERM), 128 + SIGTERM);
  EXPECT_EQ(read_file(dir_ + "/live.out").find("heard file"), std::string::npos)
      << read_file(dir_ + "/live.out");

  // The next run reads the list and adds to it; --read saves at its end.
  const ProcessResult again = read_into_heard(played);
  EXPECT_EQ(again.status, 0) << again.out;
  const std::string text = read_file(heard_);
  EXPECT_TRUE(text.starts_with(HEARD_FILE_FIRST_LINE)) << text;
  EXPECT_EQ(heard_from(text, "M0Q000"), 6) << text;
  EXPECT_EQ(heard_from(text, "M0Q019"), 6) << text;
  EXPECT_EQ(rows(text, "station").size(), 20U);
  EXPECT_FALSE(std::filesystem::exists(heard_ + ".tmp"));
}

TEST_F(HeardFile, ASigkillDuringSavesLeavesTheOldOrTheNewFileWhole) {
  constexpr int STATIONS = 3000;
  constexpr int KILLS = 6;
  ASSERT_EQ(read_into_heard(datagrams("many.dgrams", session(STATIONS))).status, 0);
  // Traffic all along, so that each save differs from the one before.
  const std::string played = datagrams("more.dgrams", session(40));
  ScopedProcess sim(spawn_process(
      {SIM, "replay", played, "--bind", test_address(117, 2), "--rate", "500", "--loop"},
      dir_ + "/sim.out", dir_ + "/sim.err"));
  std::mt19937 random(21);
  long last_count = 1;
  int killed_mid_save = 0;
  for (int kill_number = 0; kill_number < KILLS; ++kill_number) {
    SCOPED_TRACE(kill_number);
    const std::string name = "live" + std::to_string(kill_number);
    ScopedProcess client(start_live(2, heard_, name));
    ASSERT_TRUE(wait_for_text(dir_ + "/" + name + ".out", "started", 5000));
    // The loop begins a second after the start line.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(200 + random() % 400);
    while (std::chrono::steady_clock::now() < until) {
      kill(client.pid(), SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_EQ(client.stop(SIGKILL), 128 + SIGKILL);
    if (std::filesystem::exists(heard_ + ".tmp")) ++killed_mid_save;
    std::string error;
    ASSERT_TRUE(parses(heard_, error)) << error;
    const std::string text = read_file(heard_);
    EXPECT_EQ(rows(text, "station").size(), static_cast<std::size_t>(STATIONS));
    const long count = heard_from(text, "M0Q000");
    EXPECT_GE(count, last_count);
    last_count = count;
  }
  // A temporary file left behind shows a kill in the middle of a save.
  EXPECT_GT(killed_mid_save, 0) << "no kill came during a save: nothing was shown";
  std::printf("[ killed %d of %d times with a save under way ]\n", killed_mid_save, KILLS);
}

TEST_F(HeardFile, AFileThatCannotBeReadIsKeptAndTheListGoesBesideIt) {
  const std::string played = datagrams("session.dgrams", session(3));
  struct Case {
    const char* name;
    std::string text;
    const char* reason;
  };
  const std::string whole = [&] {
    EXPECT_EQ(read_into_heard(played, dir_ + "/whole.txt").status, 0);
    return read_file(dir_ + "/whole.txt");
  }();
  const Case cases[] = {
      {"other version", "pellarin-heard\t99\n", "version"},
      {"bad line",
       whole.substr(0, whole.find('\n') + 1) + "station\tnonsense\n" +
           whole.substr(whole.find('\n') + 1),
       "line 2"},
      {"cut short", whole.substr(0, whole.size() - 10), "cut short"},
  };
  for (const Case& bad : cases) {
    SCOPED_TRACE(bad.name);
    std::filesystem::remove(heard_ + ".new");
    write_file(heard_, bad.text);
    const ProcessResult run = read_into_heard(played);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("[Heard file '" + heard_ + "' cannot be read ("), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(bad.reason), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("kept as it is; the new list goes to '" + heard_ + ".new']\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(read_file(heard_), bad.text);
    EXPECT_EQ(heard_from(read_file(heard_ + ".new"), "M0Q002"), 1);
    // The next run goes on in the stand-in.
    EXPECT_EQ(read_into_heard(played).status, 0);
    EXPECT_EQ(heard_from(read_file(heard_ + ".new"), "M0Q002"), 2);
    EXPECT_EQ(read_file(heard_), bad.text);
  }
}

// A small file system of its own, filled up; unmounted however the test ends.
class FullDisk {
 public:
  explicit FullDisk(const std::string& path) : path_(path) {
    std::filesystem::create_directories(path_);
    mounted_ = mount("pellarin-test", path_.c_str(), "tmpfs", 0, "size=1m") == 0;
    error_ = mounted_ ? "" : std::strerror(errno);
  }
  ~FullDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }

  // Writes a filler file until the file system has no room left.
  void fill() {
    std::FILE* filler = std::fopen((path_ + "/filler").c_str(), "wb");
    const std::string block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
           std::fflush(filler) == 0) {
    }
    std::fclose(filler);
  }
  void make_room() { std::filesystem::remove(path_ + "/filler"); }

 private:
  std::string path_;
  bool mounted_ = false;
  std::string error_;
};

TEST_F(HeardFile, AFullDiskIsToldOnceAndTheOldFileKept) {
  FullDisk disk(dir_ + "/small");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here: " << disk.error();
  const std::string heard = dir_ + "/small/heard.txt";
  ASSERT_EQ(read_into_heard(datagrams("first.dgrams", session(3)), heard).status, 0);
  const std::string before = read_file(heard);
  disk.fill();

  const std::string played = datagrams("many.dgrams", session(2000));
  ScopedProcess sim(spawn_process(
      {SIM, "replay", played, "--bind", test_address(117, 3), "--rate", "1000", "--exit-when-done"},
      dir_ + "/sim.out", dir_ + "/sim.err"));
  ScopedProcess client(start_live(3, heard, "live"));
  EXPECT_EQ(sim.wait(20000), 0) << read_file(dir_ + "/sim.err");
  const std::string told = "[Can't save heard file '" + heard + "': No space left on device; " +
                           "trying again at each save]\n";
  for (int save = 0; save < 3; ++save) {
    kill(client.pid(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  EXPECT_EQ(wait_process(client.pid(), 0), -1000);
  std::string console = read_file(dir_ + "/live.out") + read_file(dir_ + "/live.err");
  EXPECT_NE(console.find(told), std::string::npos) << console;
  EXPECT_EQ(console.find(told), console.rfind(told)) << console;
  EXPECT_EQ(read_file(heard), before);
  EXPECT_FALSE(std::filesystem::exists(heard + ".tmp"));

  disk.make_room();
  kill(client.pid(), SIGUSR1);
  EXPECT_TRUE(wait_for_text(dir_ + "/live.out", "[Heard file '" + heard + "' saved again]\n", 5000))
      << read_file(dir_ + "/live.out");
  EXPECT_EQ(client.stop(SIGTERM), 128 + SIGTERM);
  EXPECT_EQ(heard_from(read_file(heard), "M0Q001"), 2);
  EXPECT_EQ(heard_from(read_file(heard), "M0Q999"), 1);
}

TEST_F(HeardFile, ASecondClientWithTheSameFileIsRefused) {
  ScopedProcess first(start_live(4, heard_, "first"));
  ASSERT_TRUE(wait_for_text(dir_ + "/first.out", "started", 5000));
  const ProcessResult second = run_process(
      {PELLARIN, "0", test_address(117, 5), "-O", dir_ + "/first.log", "--heard-file", heard_});
  EXPECT_EQ(second.status, 255);
  EXPECT_NE(second.out.find("Heard file '" + heard_ + "' is in use by another client\n"),
            std::string::npos)
      << second.out;
  EXPECT_EQ(second.out.find("started"), std::string::npos) << second.out;
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/first.log"));
  // The first runs on, and keeps the file.
  EXPECT_EQ(wait_process(first.pid(), 200), -1000);
  EXPECT_EQ(first.stop(SIGTERM), 128 + SIGTERM);
  std::string error;
  EXPECT_TRUE(parses(heard_, error)) << error;
}

}  // namespace
