// Building JSON report objects for the traffic generator, with string
// values escaped so that every object parses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// The text of a JSON string value, quotes included.
std::string json_string(std::string_view value);

// One JSON object, built member by member in the order added.
class JsonObject {
 public:
  JsonObject& str(std::string_view key, std::string_view value);
  JsonObject& num(std::string_view key, int64_t value);
  JsonObject& boolean(std::string_view key, bool value);
  // A member whose value is already JSON text (an array or object).
  JsonObject& raw(std::string_view key, std::string_view json);

  std::string text() const { return "{" + members_ + "}"; }

 private:
  void key(std::string_view name);
  std::string members_;
};

}  // namespace sim
