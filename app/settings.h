// The process-wide settings: trace switches, display width and the filters.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr std::uint32_t TF_L2 = 0x1;
inline constexpr std::uint32_t TF_UI = 0x2;
inline constexpr std::uint32_t TF_L3 = 0x4;
inline constexpr std::uint32_t TF_L3RTT_INFO = 0x8;
inline constexpr std::uint32_t TF_NODES = 0x10;
inline constexpr std::uint32_t TF_INP3 = 0x20;
inline constexpr std::uint32_t TF_L4 = 0x40;
inline constexpr std::uint32_t TF_IP = 0x80;
inline constexpr std::uint32_t TF_ARP = 0x100;
inline constexpr std::uint32_t TF_COLOUR = 0x200;
inline constexpr std::uint32_t TF_TIMESTAMP = 0x400;
inline constexpr std::uint32_t TF_BLANK_LINE = 0x800;
inline constexpr std::uint32_t TF_LINK_REPORTS = 0x1000;
inline constexpr std::uint32_t TF_CIRCUIT_REPORTS = 0x2000;
inline constexpr std::uint32_t TF_NODE_REPORTS = 0x4000;
inline constexpr std::uint32_t TF_HEADER_LINE = 0x8000;
inline constexpr std::uint32_t TF_CLASSIC = 0x10000;
inline constexpr std::uint32_t TF_SERIAL = 0x20000;
inline constexpr std::uint32_t TF_QUIET = 0x40000;
inline constexpr std::uint32_t TF_COLOUR_TO_FILE = 0x80000;
inline constexpr std::uint32_t TF_WARNINGS = 0x1000000;
inline constexpr std::uint32_t TF_RAW_JSON = 0x2000000;
inline constexpr std::uint32_t TF_REPORTER = 0x4000000;

// Bits 0x1 to 0x800 are on unless an option clears them.
inline constexpr std::uint32_t TF_DEFAULTS = 0xFFF;

inline constexpr int DEFAULT_DISPLAY_WIDTH = 80;
inline constexpr int CALL_FILTER_LENGTH = 15;
// The longest path the system accepts (PATH_MAX less the terminator): any
// longer one is refused at start-up, never cut to another name.
inline constexpr int CAPTURE_PATH_LENGTH = 4095;

// --heard-format and --heard-sort.
enum class HeardFormat : std::uint8_t { table, tsv, csv, json };
enum class HeardSort : std::uint8_t { last, first, frames, call };

struct Settings {
  std::uint32_t trace_flags = TF_DEFAULTS;
  int display_width = DEFAULT_DISPLAY_WIDTH;
  int port_filter = 0;  // 0: all ports
  char from_call[CALL_FILTER_LENGTH + 1] = {};
  char to_call[CALL_FILTER_LENGTH + 1] = {};
  char call_a[CALL_FILTER_LENGTH + 1] = {};
  char call_b[CALL_FILTER_LENGTH + 1] = {};
  char protocol_filter[CALL_FILTER_LENGTH + 1] = {};
  char frame_type_filter[CALL_FILTER_LENGTH + 1] = {};
  char capture_path[CAPTURE_PATH_LENGTH + 1] = {};
  std::FILE* capture_file = nullptr;
  // The heard tables: kept under --heard, --heard-only or --heard-file.
  bool heard = false;
  bool heard_only = false;  // the tables alone on standard output
  HeardFormat heard_format = HeardFormat::table;
  HeardSort heard_sort = HeardSort::last;
  char heard_path[CAPTURE_PATH_LENGTH + 1] = {};  // --heard-file
};

// Written only during start-up (and by tests between cases); read everywhere.
extern Settings settings;

inline bool trace_flag(std::uint32_t bit) { return (settings.trace_flags & bit) != 0; }
