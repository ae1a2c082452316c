// Command line: option effects, the settings summary on both channels, and
// the address parser.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "output/channels.h"
#include "tests/support/file_text.h"
#include "tests/support/report_harness.h"
#include "tests/support/test_environment.h"

namespace {

class CommandLineTest : public ReportTest {
 protected:
  // The arguments live on until the next parse, as argv does in a process.
  StartupChoice parse(std::vector<std::string> args) {
    args_ = std::move(args);
    args_.insert(args_.begin(), "pellarin");
    argv_.clear();
    for (std::string& arg : args_) argv_.push_back(arg.data());
    argv_.push_back(nullptr);
    settings = Settings{};
    settings.capture_file = capture_stream();
    return parse_command_line(static_cast<int>(args_.size()), argv_.data());
  }

 private:
  std::vector<std::string> args_;
  std::vector<char*> argv_;
};

struct SummaryCase {
  std::vector<std::string> args;
  std::string trace_text;  // what out_print wrote: capture file and console
  std::string console_only;
};

const std::string START_LINE = "\nPellarin v1.0 started. Use ctrl-c to exit...\n";

TEST_F(CommandLineTest, SummaryForOptionSets) {
  const SummaryCase cases[] = {
      {{"0"}, "Showing frames to/from all ports\n", ""},
      {{"0", "127.0.0.1", "-N", "-c", "-C", "-x", "-H", "-W", "-w", "132"},
       "Showing frames to/from all ports\n",
       ""},
      {{"3", "10.0.0.2", "-k", "-m"},
       "Showing frames to/from port (3) only\n"
       "Including AX25 L2 'link' status reports\n"
       "Including NetRom L4 'circuit' status reports\n",
       ""},
      {{"-k"}, "Showing frames to/from all ports\nIncluding AX25 L2 'link' status reports\n", ""},
      {{"0", "-p", "12", "-r", "-a", "g4abc", "-b", "G8XYZ", "-f", "M0PQR", "-t", "N0DE", "-T",
        "UI", "-P", "NET/ROM"},
       "Showing frames to/from port (12) only\n"
       "Including reporting node's callsign\n"
       "Showing frames between L2 calls 'g4abc' and 'G8XYZ' only\n"
       "Showing frames with L2 source call 'M0PQR' only\n"
       "Showing frames with L2 destination call 'N0DE' only\n"
       "Showing 'UI' frames only\n"
       "Showing frames with L3 protocol 'NET/ROM' only\n",
       ""},
      {{"0", "-b", "G8XYZ"},
       "Showing frames to/from all ports\nShowing frames to/from L2 call 'G8XYZ' only\n",
       ""},
      {{"0", "-u", "-n", "-i", "-2", "-3", "-4", "-l", "-k", "-m", "-d", "-S", "-j", "-s", "-L"},
       "Showing frames to/from all ports\n"
       "Not showing UI frames\n"
       "Not decoding NODES broadcasts\n"
       "Not decoding INP3 unicasts\n"
       "Not showing AX25 Layer 2 or its payload\n"
       "Not showing NetRom Layer 3 or above\n"
       "Not showing NetRom Layer 4 or above\n"
       "Not showing L3RTT frame contents\n"
       "Including AX25 L2 'link' status reports\n"
       "Including NetRom L4 'circuit' status reports\n"
       "Including node status reports\n"
       "Including frame sequence numbers\n"
       "Including JSON data\n"
       "Time stamp disabled\n"
       "Suppressing line break between reports\n",
       ""},
      {{"0", "-o", "trace.log"},
       "Showing frames to/from all ports\n",
       "Capturing traces to file 'trace.log'\n"},
      {{"0", "-f", "ABCDEFGHIJKLMNOPQRST"},
       "Showing frames to/from all ports\n"
       "Showing frames with L2 source call 'ABCDEFGHIJKLMNO' only\n",
       ""},
  };
  for (const SummaryCase& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    const StartupChoice choice = parse(c.args);
    ASSERT_FALSE(choice.finished);
    take_output();
    print_settings_summary(choice);
    const ChannelText out = take_output();
    EXPECT_EQ(out.capture, c.trace_text);
    EXPECT_EQ(out.console, c.trace_text + c.console_only + START_LINE);
  }
}

TEST_F(CommandLineTest, QuietKeepsTheSummaryOffTheConsoleOnly) {
  const StartupChoice choice = parse({"0", "-q", "-o", "x"});
  take_output();
  print_settings_summary(choice);
  const ChannelText out = take_output();
  EXPECT_EQ(out.capture, "Showing frames to/from all ports\n");
  EXPECT_EQ(out.console, "Capturing traces to file 'x'\n" + START_LINE);
}

TEST_F(CommandLineTest, OptionsSetTheirSwitchesAndValues) {
  StartupChoice choice = parse({"3", "-k"});
  EXPECT_EQ(settings.port_filter, 3);
  EXPECT_EQ(choice.server_address, 0U);  // "-k" read as an address
  EXPECT_TRUE(trace_flag(TF_LINK_REPORTS));

  choice = parse({"-k"});
  EXPECT_EQ(settings.port_filter, 0);
  EXPECT_EQ(choice.server_address, DEFAULT_SERVER_ADDRESS);

  parse({"0", "-N"});
  EXPECT_EQ(settings.trace_flags, TF_DEFAULTS);

  parse({"0", "-c", "-C"});
  EXPECT_FALSE(trace_flag(TF_COLOUR));
  EXPECT_TRUE(trace_flag(TF_COLOUR_TO_FILE));

  choice = parse({"0", "-O", "new.log", "-o", "later.log"});
  EXPECT_TRUE(choice.overwrite_capture);
  EXPECT_STREQ(settings.capture_path, "later.log");

  parse({"0", "-p", "4", "-p", "99999999999999999999", "-w", "-20"});
  EXPECT_EQ(settings.port_filter, 2147483647);
  EXPECT_EQ(settings.display_width, -20);

  parse({"0", "-w", "wide"});
  EXPECT_EQ(settings.display_width, 0);

  // Never cut: a path is either kept whole or refused when opened.
  choice = parse({"0", "-o", std::string(300, 'p')});
  EXPECT_EQ(std::string(settings.capture_path), std::string(300, 'p'));
  EXPECT_EQ(choice.overlong_capture_path, nullptr);

  parse({"0", "-x", "-H", "-S", "-q", "-r", "-W", "-j"});
  EXPECT_EQ(settings.trace_flags, TF_DEFAULTS | TF_CLASSIC | TF_HEADER_LINE | TF_SERIAL | TF_QUIET |
                                      TF_REPORTER | TF_WARNINGS | TF_RAW_JSON);
}

TEST_F(CommandLineTest, LongCapturePathsWholeOrRefused) {
  const TestDir work;
  const std::filesystem::path dir = work.path();
  // Deep folders make a path far beyond 255 characters that the system takes.
  std::filesystem::path deep = dir;
  for (int level = 0; level < 8; ++level) deep /= std::string(200, static_cast<char>('a' + level));
  std::error_code error;
  std::filesystem::create_directories(deep, error);
  if (error)
    GTEST_SKIP() << "this system takes no path of " << deep.string().size() << " characters";
  const std::string accepted = (deep / "trace.log").string();
  ASSERT_GT(accepted.size(), 1600U);
  StartupChoice choice = parse({"0", "-O", accepted});
  ASSERT_TRUE(open_capture_file(choice));
  out_print("G4ABC>G4XYZ <UI>\n");
  std::fclose(settings.capture_file);
  settings.capture_file = nullptr;
  // A text file: on Windows its line ends are CR LF.
  std::string written = read_file(accepted);
  std::erase(written, '\r');
  EXPECT_EQ(written, "G4ABC>G4XYZ <UI>\n");
  take_output();

  struct RefusedCase {
    const char* what;
    std::string path;
  };
  const RefusedCase refused[] = {
      {"longer than any path", dir.string() + "/" + std::string(5000, 'x')},
      {"a name longer than a folder takes", dir.string() + "/" + std::string(300, 'y')},
  };
  for (const RefusedCase& test : refused) {
    SCOPED_TRACE(test.what);
    choice = parse({"0", "-o", test.path});
    EXPECT_FALSE(open_capture_file(choice));
    EXPECT_EQ(take_output().console, "Can't open capture file '" + test.path + "'\n");
  }
  // A later path replaces a refused one, as any later option does.
  choice = parse({"0", "-o", std::string(5000, 'x'), "-o", ""});
  EXPECT_TRUE(open_capture_file(choice));
  EXPECT_EQ(take_output().console, "");
}

TEST_F(CommandLineTest, HelpEndsAtOnceWithStatusZero) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-h"}, {"3", "-h"}, {"3", "-k", "-h", "-m"}}) {
    const StartupChoice choice = parse(args);
    EXPECT_TRUE(choice.finished);
    EXPECT_EQ(choice.exit_status, 0);
    EXPECT_FALSE(trace_flag(TF_CIRCUIT_REPORTS));
    const ChannelText out = take_output();
    EXPECT_EQ(
        out.console.rfind("Usage: pellarin [qv_port [ip_address]] [options]\n\nOptions:\n\n", 0),
        0U);
    EXPECT_NE(
        out.console.find("   -T <frametype>  Show only this AX25 frametype, e.g. \"-T UI\"\n"),
        std::string::npos);
    EXPECT_EQ(out.capture, "");
  }
}

struct LongOptionCase {
  std::vector<std::string> args;
  int port;
  std::uint32_t address;
  const char* read_path;
  const char* record_path;
  bool recorded_pace;
  std::uint32_t flags;
  const char* capture_path;
};

TEST_F(CommandLineTest, LongOptionsLeaveTheRestAsWithoutThem) {
  const LongOptionCase cases[] = {
      {{"3", "--read", "evening.dgrams"},
       3,
       DEFAULT_SERVER_ADDRESS,
       "evening.dgrams",
       nullptr,
       false,
       TF_DEFAULTS,
       ""},
      {{"--read", "evening.dgrams", "3", "10.0.0.2", "-k"},
       3,
       0x0A000002,
       "evening.dgrams",
       nullptr,
       false,
       TF_DEFAULTS | TF_LINK_REPORTS,
       ""},
      {{"--read=-", "--pace", "recorded"},
       0,
       DEFAULT_SERVER_ADDRESS,
       "-",
       nullptr,
       true,
       TF_DEFAULTS,
       ""},
      {{"0", "--read", "a", "--pace=fast"},
       0,
       DEFAULT_SERVER_ADDRESS,
       "a",
       nullptr,
       false,
       TF_DEFAULTS,
       ""},
      {{"--record", "night.dgrams"},
       0,
       DEFAULT_SERVER_ADDRESS,
       nullptr,
       "night.dgrams",
       false,
       TF_DEFAULTS,
       ""},
      // The second argument is the address whatever it holds, as without
      // the long option.
      {{"5", "--record=night.dgrams", "-q"},
       5,
       0,
       nullptr,
       "night.dgrams",
       false,
       TF_DEFAULTS | TF_QUIET,
       ""},
      // A short option's value is never taken for a long option.
      {{"0", "-o", "--read", "-k"},
       0,
       0,
       nullptr,
       nullptr,
       false,
       TF_DEFAULTS | TF_LINK_REPORTS,
       "--read"},
      {{"0", "-qo", "--record"}, 0, 0, nullptr, nullptr, false, TF_DEFAULTS | TF_QUIET, "--record"},
      {{"0", "-o--read"}, 0, 0, nullptr, nullptr, false, TF_DEFAULTS, "--read"},
      // After "--" nothing is an option.
      {{"0", "--", "--read", "x"}, 0, 0, nullptr, nullptr, false, TF_DEFAULTS, ""},
  };
  for (const LongOptionCase& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    const StartupChoice choice = parse(c.args);
    EXPECT_FALSE(choice.finished);
    EXPECT_EQ(settings.port_filter, c.port);
    EXPECT_EQ(choice.server_address, c.address);
    EXPECT_STREQ(choice.read_path, c.read_path);
    EXPECT_STREQ(choice.record_path, c.record_path);
    EXPECT_EQ(choice.recorded_pace, c.recorded_pace);
    EXPECT_EQ(settings.trace_flags, c.flags);
    EXPECT_STREQ(settings.capture_path, c.capture_path);
  }
}

TEST_F(CommandLineTest, FaultyLongOptionsEndStartUp) {
  struct Faulty {
    std::vector<std::string> args;
    std::string message;
  };
  const Faulty cases[] = {
      {{"0", "--read"}, "Option '--read' needs a value\n"},
      {{"0", "--record="}, "Option '--record' needs a value\n"},
      {{"--read", "a", "--pace", "slow"},
       "Option '--pace' takes 'recorded' or 'fast', not 'slow'\n"},
      {{"0", "--pace", "recorded"}, "Option '--pace' goes with '--read'\n"},
      {{"--read", "a", "--record", "b"},
       "Options '--read' and '--record' cannot be used together\n"},
      {{"0", "--heard", "--heard-format", "xml"},
       "Option '--heard-format' takes 'table', 'tsv', 'csv' or 'json', not 'xml'\n"},
      {{"0", "--heard-only", "--heard-sort=age"},
       "Option '--heard-sort' takes 'last', 'first', 'frames' or 'call', not 'age'\n"},
      {{"0", "--heard-sort", "call"},
       "Options '--heard-format' and '--heard-sort' go with '--heard', '--heard-only' or "
       "'--heard-file'\n"},
      {{"0", "--heard-file"}, "Option '--heard-file' needs a value\n"},
      {{"0", "--heard-file", std::string(CAPTURE_PATH_LENGTH + 1, 'h')},
       "Can't use heard file '" + std::string(CAPTURE_PATH_LENGTH + 1, 'h') +
           "': the path is too long\n"},
  };
  for (const Faulty& c : cases) {
    SCOPED_TRACE(c.message);
    take_output();
    const StartupChoice choice = parse(c.args);
    EXPECT_TRUE(choice.finished);
    EXPECT_EQ(choice.exit_status, -1);
    EXPECT_EQ(take_output().console, c.message);
  }
}

TEST_F(CommandLineTest, HeardOptionsIntoSettings) {
  struct HeardCase {
    std::vector<std::string> args;
    bool heard;
    bool heard_only;
    HeardFormat format;
    HeardSort sort;
    const char* path;
    bool colour;
    bool asks_heard_only;
  };
  const HeardCase cases[] = {
      {{"0"}, false, false, HeardFormat::table, HeardSort::last, "", true, false},
      {{"0", "--heard"}, true, false, HeardFormat::table, HeardSort::last, "", true, false},
      {{"--read", "a", "--heard-only", "--heard-format", "csv"},
       false,
       true,
       HeardFormat::csv,
       HeardSort::last,
       "",
       false,
       true},
      {{"0", "--heard", "--heard-format=json", "--heard-sort", "frames"},
       true,
       false,
       HeardFormat::json,
       HeardSort::frames,
       "",
       true,
       false},
      {{"0", "--heard-file", "heard.txt", "--heard-sort=call", "-k"},
       true,
       false,
       HeardFormat::table,
       HeardSort::call,
       "heard.txt",
       true,
       false},
      {{"0", "--heard-only", "--heard-format", "tsv", "--heard-sort", "first"},
       false,
       true,
       HeardFormat::tsv,
       HeardSort::first,
       "",
       false,
       true},
      // A short option's value, or anything after "--", is not the option.
      {{"0", "-o", "--heard-only"},
       false,
       false,
       HeardFormat::table,
       HeardSort::last,
       "",
       true,
       false},
      {{"0", "--", "--heard-only"},
       false,
       false,
       HeardFormat::table,
       HeardSort::last,
       "",
       true,
       false},
  };
  for (const HeardCase& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "pellarin");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    EXPECT_EQ(asks_heard_only(static_cast<int>(argv.size()), argv.data()), c.asks_heard_only);
    const StartupChoice choice = parse(c.args);
    EXPECT_FALSE(choice.finished);
    EXPECT_EQ(settings.heard, c.heard);
    EXPECT_EQ(settings.heard_only, c.heard_only);
    EXPECT_EQ(settings.heard_format, c.format);
    EXPECT_EQ(settings.heard_sort, c.sort);
    EXPECT_STREQ(settings.heard_path, c.path);
    EXPECT_EQ(trace_flag(TF_COLOUR), c.colour);
  }
}

TEST_F(CommandLineTest, LongHelpAddsTheLongOptionsToTheList) {
  take_output();
  const StartupChoice choice = parse({"3", "--help", "-k"});
  EXPECT_TRUE(choice.finished);
  EXPECT_EQ(choice.exit_status, 0);
  const std::string console = take_output().console;
  print_usage();
  const std::string short_list = take_output().console;
  ASSERT_TRUE(console.starts_with(short_list)) << console;
  EXPECT_EQ(
      console.substr(short_list.size()),
      "Long options:\n\n"
      "   --read <file>   Show the datagrams of a datagram file, then exit ('-': stdin)\n"
      "   --pace <pace>   With --read: 'recorded' keeps the recorded times, 'fast' does not\n"
      "   --record <file> Append every datagram received to a datagram file\n"
      "   --help          Show this message with the long options and exit\n"
      "   --heard         Keep the heard tables and print them at the end\n"
      "   --heard-only    Print only the heard tables, no traces or start-up text\n"
      "   --heard-format  <f>: the tables as 'table' (default), 'tsv', 'csv' or 'json'\n"
      "   --heard-sort    <key>: the tables by 'last' (default), 'first', 'frames' or 'call'\n"
      "   --heard-file    <file>: keep the tables in <file> across restarts (implies --heard)\n"
      "\n");
}

TEST_F(CommandLineTest, SummaryNamesTheRecordFileOnTheConsole) {
  const StartupChoice choice = parse({"0", "--record", "night.dgrams", "-o", "x"});
  take_output();
  print_settings_summary(choice);
  const ChannelText out = take_output();
  EXPECT_EQ(out.capture, "Showing frames to/from all ports\n");
  EXPECT_EQ(out.console, out.capture + "Capturing traces to file 'x'\n" +
                             "Recording datagrams to file 'night.dgrams'\n" + START_LINE);
}

struct AddressCase {
  const char* text;
  std::uint32_t address;
};

TEST(ParseIpv4, Table) {
  const AddressCase cases[] = {
      {"127.0.0.1", 0x7F000001},
      {"10.0.0.300", 0x0A00012C},  // the last field carries into the third
      {"*", 0},
      {"*.1.2.3", 0},
      {"localhost", 0},
      {"", 0},
      {"1.2", 0x01020000},
      {"1.2.3.4.5", 0x01020304},
      {" 10.+1. 2.3x", 0x0A010203},
      {"-1.0.0.0", 0xFF000000},
      {"256.0.0.0", 0},
      {"1..2.3", 0x01000203},
      {"99999999999.0.0.1", 0xFF000001},
  };
  for (const AddressCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_ipv4(c.text), c.address);
  }
}

}  // namespace
