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

// A whole non-negative decimal integer no larger than `max`.
std::optional<uint64_t> parse_count(std::string_view text, uint64_t max);

// A non-negative number, possibly with a fraction ("2", "0.5").
std::optional<double> parse_amount(std::string_view text);

}  // namespace sim
