// Start-up of the real binary: banner, usage, help, summary, capture file.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

const std::string PELLARIN = PELLARIN_BINARY;

const std::string BANNER =
    "\033[2J\nPellarin - Packet Tracing Client for Korvane\n"
    "Version 1.0 (c) 2026 the Pellarin developers, free software\n\n";

const std::string OPTION_LIST =
    "Usage: pellarin [qv_port [ip_address]] [options]\n\n"
    "Options:\n\n"
    "   -2              Dont trace AX25 layer 2 or above\n"
    "   -3              Don't trace NetRom layer 3 or above\n"
    "   -4              Don't trace NetRom layer 4 or above\n"
    "   -a <callsign>   Show ALL frames to or from <callsign>\n"
    "   -b <callsign>   Show ALL frames to or from <callsign>\n"
    "   -c              Don't colourise the traces\n"
    "   -C              Include colour information in capture file\n"
    "   -d              Show node up/down/status reports\n"
    "   -f <callsign>   Show only frames addressed FROM <callsign>\n"
    "   -h              Show this message and exit\n"
    "   -H              Show header on separate line to trace\n"
    "   -i              Don't trace contents of INP3 routing unicasts\n"
    "   -j              Show the raw JSON before each trace\n"
    "   -k              Show lin[k] up/down/status reports\n"
    "   -l              Don't show L3RTT info field\n"
    "   -L              Suppress blank line between traces\n"
    "   -m              Show circuit up/down/status reports\n"
    "   -n              Don't trace contents of NetRom nodes broadcasts\n"
    "   -N              Show Node status reports\n"
    "   -o <file>       Output trace to <file>\n"
    "   -p <portnum>    Show reports only from <portnum>\n"
    "   -P <protocol>   Show only frames with this L3 protocol\n"
    "   -q              No display when capturing to file (quiet)\n"
    "   -r              Include callsign of reporting node\n"
    "   -s              Suppress time stamp\n"
    "   -S              Show sequence numbers of reports\n"
    "   -t <callsign>   Show only frames addressed TO <callsign>\n"
    "   -T <frametype>  Show only this AX25 frametype, e.g. \"-T UI\"\n"
    "   -u              Don't display UI frames\n"
    "   -w <width>      Display width (default 80 cols)\n"
    "   -W              Enable warnings of missing/bad JSON fields\n"
    "   -x              Korvane 'classic' trace format\n"
    "\n";

const std::string START_LINE = "\nPellarin v1.0 started. Use ctrl-c to exit...\n";

TEST(Startup, NoArgumentPrintsUsageAndFails) {
  const ProcessResult result = run_process({PELLARIN});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, BANNER + "Usage: " + PELLARIN +
                            " [qv_port [ip_address]] [options]\n\n"
                            "  [ip_address] is that of Korvane's host machine (default "
                            "127.0.0.1)\n\n"
                            "Use '" +
                            PELLARIN + " -h' to display help / options\n\n");
}

TEST(Startup, HelpPrintsTheOptionListAndSucceeds) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{PELLARIN, "-h"}, {PELLARIN, "3", "-h"}}) {
    const ProcessResult result = run_process(args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, BANNER + OPTION_LIST);
    EXPECT_EQ(result.err, "");
  }
}

// Runs the client until its start line and stops it with SIGTERM before
// its first subscription (which waits a second after the start line).
struct StartedClient {
  int status;
  std::string console;
};

StartedClient start_and_stop(const std::vector<std::string>& args, int signal_number = SIGTERM) {
  const TestDir work;
  const std::string dir = work.path();
  std::vector<std::string> argv{PELLARIN};
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t pid = spawn_process(argv, dir + "/out", dir + "/err");
  const bool started = wait_for_text(dir + "/out", "started", 5000);
  const int status = stop_process(pid, signal_number);
  EXPECT_TRUE(started);
  return {status, read_file(dir + "/out")};
}

// Appended piece by piece: GCC 12 at -O3 for 32-bit ARM takes "text" +
// std::string for an overlapping copy (a -Wrestrict false positive).
std::string title(int port) {
  std::string text = "\033]0;Pellarin (";
  text += std::to_string(port);
  text += ")\a";
  return text;
}

TEST(Startup, PositionalArgumentsAndOptionsMix) {
  // Port and address are the first two arguments that are no options,
  // wherever they stand.
  StartedClient client = start_and_stop({"-k", "0", test_address(100, 1)});
  EXPECT_EQ(client.status, 128 + SIGTERM);
  EXPECT_EQ(client.console, BANNER + title(0) + "Showing frames to/from all ports\n" +
                                "Including AX25 L2 'link' status reports\n" + START_LINE +
                                "\033[0m");

  client = start_and_stop({"-c", "-k", "3", "-o", "/dev/null", "-m", test_address(100, 1)});
  EXPECT_EQ(client.console, BANNER + title(3) + "Showing frames to/from port (3) only\n" +
                                "Including AX25 L2 'link' status reports\n" +
                                "Including NetRom L4 'circuit' status reports\n" +
                                "Capturing traces to file '/dev/null'\n" + START_LINE);

  client = start_and_stop({"0", test_address(100, 1), "-N", "-c"});
  EXPECT_EQ(client.console, BANNER + title(0) + "Showing frames to/from all ports\n" + START_LINE);

  client = start_and_stop({"0", test_address(100, 1), "-n", "-c", "-f", "ABCDEFGHIJKLMNOPQRST"});
  EXPECT_EQ(client.console, BANNER + title(0) + "Showing frames to/from all ports\n" +
                                "Showing frames with L2 source call 'ABCDEFGHIJKLMNO' only\n" +
                                "Not decoding NODES broadcasts\n" + START_LINE);
}

TEST(Startup, EveryEndingSignalResetsTheColour) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(signal_number);
    const StartedClient client = start_and_stop({"0", test_address(107, 1)}, signal_number);
    EXPECT_EQ(client.status, 128 + signal_number);
    EXPECT_EQ(client.console, BANNER + title(0) + "Showing frames to/from all ports\n" +
                                  START_LINE + "\033[0m");
  }
}

TEST(Startup, CaptureFileAppendsOrTruncates) {
  const TestDir work;
  const std::string dir = work.path();
  const std::string path = dir + "/capture.txt";
  const std::string summary = "Showing frames to/from all ports\n";
  write_file(path, "earlier session\n");
  start_and_stop({"0", test_address(100, 2), "-c", "-o", path});
  EXPECT_EQ(read_file(path), "earlier session\n" + summary);
  start_and_stop({"0", test_address(100, 2), "-c", "-O", path});
  EXPECT_EQ(read_file(path), summary);
}

TEST(Startup, UnopenableCaptureOrRecordFileFailsBeforeAnyTraffic) {
  // A listener in place of the node: nothing may reach it.
  const int node = bind_node_socket(test_address(100, 3));
  ASSERT_GE(node, 0);

  const ProcessResult result =
      run_process({PELLARIN, "0", test_address(100, 3), "-o", "/nonexistent-dir/capture.txt"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, BANNER + "Can't open capture file '/nonexistent-dir/capture.txt'\n");
  EXPECT_EQ(result.err, "/nonexistent-dir/capture.txt: No such file or directory\n");
  const ProcessResult record =
      run_process({PELLARIN, "0", test_address(100, 3), "--record", "/nonexistent-dir/r.dgrams"});
  EXPECT_EQ(record.status, 255);
  EXPECT_EQ(record.out, BANNER + "Can't open record file '/nonexistent-dir/r.dgrams'\n");
  EXPECT_EQ(record.err, "/nonexistent-dir/r.dgrams: No such file or directory\n");

  pollfd ready{node, POLLIN, 0};
  EXPECT_EQ(poll(&ready, 1, 1500), 0);
  close(node);
}

// Refused at start-up, before the capture file is opened: an unknown long
// option (never read as a cluster of short ones) and a node host that names
// no address.
TEST(Startup, UnknownLongOptionsAndUnknownHostsEndStartUp) {
  const TestDir work;
  const std::string capture = work / "capture.txt";
  struct Refused {
    std::vector<std::string> args;
    std::string out;
  };
  const Refused cases[] = {
      {{"0", test_address(100, 4), "--version2", "-o", capture},
       "Unknown option '--version2' (see 'pellarin --help')\n"},
      {{"--foo", "0", "-o", capture}, "Unknown option '--foo' (see 'pellarin --help')\n"},
      {{"0", "nosuch.invalid", "-o", capture}, "Can't find node host 'nosuch.invalid'\n"},
      {{"-o", capture, "0", "999.1.1.1"},
       "Can't find node host '999.1.1.1' (each number is 0 to 255)\n"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.out);
    std::vector<std::string> argv{PELLARIN};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ProcessResult result = run_process(argv);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, BANNER + c.out);
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(std::filesystem::exists(capture));
  }
}

TEST(Startup, VersionPrintsTheVersionAndSucceeds) {
  const ProcessResult result = run_process({PELLARIN, "--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, BANNER + "pellarin 1.0\n");
}

}  // namespace
