// Command-line options of the pellarin-sim subcommands.
#include "sim/options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sim/commands.h"
#include "sim/log.h"

namespace sim {

std::optional<std::string> Arguments::value(std::string_view name) const {
  const auto found = values.find(name);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

int show_help(const char* help) {
  std::fputs(help, stdout);
  return 0;
}

int usage_error(std::string_view command, const std::string& error) {
  const std::string name(command);
  log_line("%s: %s (see pellarin-sim %s --help)", name.c_str(), error.c_str(), name.c_str());
  return EXIT_USAGE;
}

bool parse_arguments(std::span<char* const> args, std::span<const OptionSpec> specs,
                     Arguments& parsed, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view word = args[i];
    if (word == "--help" || word == "-h") {
      parsed.help = true;
      continue;
    }
    if (word.size() < 3 || !word.starts_with("--")) {
      if (word.size() > 1 && word.front() == '-') {
        error = format_text("unknown option '%s'", args[i]);
        return false;
      }
      parsed.positional.emplace_back(word);
      continue;
    }
    std::string_view name = word.substr(2);
    std::optional<std::string_view> inline_value;
    if (const size_t equals = name.find('='); equals != std::string_view::npos) {
      inline_value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& candidate : specs) {
      if (candidate.name == name) spec = &candidate;
    }
    if (spec == nullptr) {
      error = format_text("unknown option '--%.*s'", static_cast<int>(name.size()), name.data());
      return false;
    }
    std::string value;
    if (spec->takes_value) {
      if (inline_value) {
        value = *inline_value;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = format_text("option '--%.*s' needs a value", static_cast<int>(name.size()),
                            name.data());
        return false;
      }
    } else if (inline_value) {
      error =
          format_text("option '--%.*s' takes no value", static_cast<int>(name.size()), name.data());
      return false;
    }
    parsed.values[std::string(name)] = std::move(value);
  }
  return true;
}

std::optional<uint64_t> parse_count(std::string_view text, uint64_t max) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<double> parse_amount(std::string_view text) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  for (const char c : text) {
    if ((c < '0' || c > '9') && c != '.') return std::nullopt;
  }
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value) || value < 0) {
    return std::nullopt;
  }
  return value;
}

}  // namespace sim
