// Building JSON report objects for the traffic generator, with string
// values escaped so that every object parses.
#include "sim/json.h"

#include "sim/log.h"

namespace sim {

std::string json_string(std::string_view value) {
  std::string text = "\"";
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        text += "\\\"";
        break;
      case '\\':
        text += "\\\\";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      default:
        if (u < 0x20) {
          text += format_text("\\u%04x", u);
        } else {
          text += c;
        }
    }
  }
  text += '"';
  return text;
}

void JsonObject::key(std::string_view name) {
  if (!members_.empty()) members_ += ',';
  members_ += json_string(name);
  members_ += ':';
}

JsonObject& JsonObject::str(std::string_view name, std::string_view value) {
  key(name);
  members_ += json_string(value);
  return *this;
}

JsonObject& JsonObject::num(std::string_view name, int64_t value) {
  key(name);
  members_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::boolean(std::string_view name, bool value) {
  key(name);
  members_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::raw(std::string_view name, std::string_view json) {
  key(name);
  members_ += json;
  return *this;
}

}  // namespace sim
