// Command-line options of the pellarin-sim subcommands.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct OptionSpec {
  std::string_view name;  // without the leading "--"
  bool takes_value;
};

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string, std::less<>> values;  // a flag maps to ""
  bool help = false;

  bool has(std::string_view name) const { return values.find(name) != values.end(); }
  std::optional<std::string> value(std::string_view name) const;
};

// Reads `args` (the words after the subcommand): "--name VALUE",
// "--name=VALUE", flags, "--help"/"-h", and positional words ("-" is one).
bool parse_arguments(std::span<char* const> args, std::span<const OptionSpec> specs,
                     Arguments& parsed, std::string& error);

int show_help(const char* help);
int usage_error(std::string_view command, const std::string& error);

// Parses a subcommand's words and reads them into its settings with `read`.
// Returns the exit status when the command ends here: after --help (0) or
// a usage error, which is logged with a pointer to the command's help.
template <typename Settings>
std::optional<int> read_command_line(std::string_view command, std::span<char* const> args,
                                     std::span<const OptionSpec> specs, const char* help,
                                     bool (*read)(const Arguments&, Settings&, std::string&),
                                     Settings& settings) {
  Arguments arguments;
  std::string error;
  if (parse_arguments(args, specs, arguments, error) && arguments.help) return show_help(help);
  if (error.empty() && read(arguments, settings, error)) return std::nullopt;
  return usage_error(command, error);
}

// A whole non-negative decimal integer no larger than `max`.
std::optional<uint64_t> parse_count(std::string_view text, uint64_t max);

// A non-negative number, possibly with a fraction ("2", "0.5").
std::optional<double> parse_amount(std::string_view text);

}  // namespace sim
