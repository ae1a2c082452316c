// atoi-style number reading without overflow.
#include "intake/numbers.h"

#include <gtest/gtest.h>

#include <limits>
#include <string_view>

namespace {

TEST(Numbers, ReadsLikeAtoiAndHoldsAtTheLimits) {
  struct Case {
    const char* text;
    std::int64_t value64;
    int value;
  };
  constexpr int MAX = std::numeric_limits<int>::max();
  constexpr int MIN = std::numeric_limits<int>::min();
  const Case cases[] = {
      {"12abc", 12, 12},
      {" \t\n-5", -5, -5},
      {"\v3", 3, 3},
      {"\f\r45296", 45296, 45296},
      {"+7", 7, 7},
      {"03", 3, 3},
      {"", 0, 0},
      {"word", 0, 0},
      {"- 5", 0, 0},
      {"2147483647", 2147483647, MAX},
      {"2147483648", 2147483648, MAX},
      {"-2147483648", -2147483648LL, MIN},
      {"-2147483649", -2147483649LL, MIN},
      {"4102444800", 4102444800LL, MAX},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max(), MAX},
      {"99999999999999999999", std::numeric_limits<std::int64_t>::max(), MAX},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min(), MIN},
      {"-99999999999999999999", std::numeric_limits<std::int64_t>::min(), MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(read_int64(c.text), c.value64);
    EXPECT_EQ(read_int(c.text), c.value);
  }
}

TEST(Numbers, StopAtTheEndOfTheViewWithoutATerminator) {
  constexpr std::string_view digits = "12345";
  EXPECT_EQ(read_int(digits.substr(0, 2)), 12);
  EXPECT_EQ(read_int64(digits.substr(0, 0)), 0);
  EXPECT_EQ(read_int(std::string_view(" -", 2)), 0);
}

}  // namespace
