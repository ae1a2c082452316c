// The walks over an array of flat objects and over an array of strings.
#include "intake/array_lookup.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct WalkCase {
  const char* name;
  std::string text;
  int limit;
  std::vector<std::string> elements;  // empty when find_array gives none
  bool array_found = true;
};

const WalkCase WALK_CASES[] = {
    {"empty array", R"("nodes":[],"x":{"a":1})", 1023, {}},
    {"blank array", R"("nodes":[  ])", 1023, {}},
    {"one element", R"("nodes":[{"call":"A"}])", 1023, {R"({"call":"A"})"}},
    {"three elements",
     R"("nodes":[{"a":1}, {"b":2} ,{"c":3}],"d":{"e":4})",
     1023,
     {R"({"a":1})", R"({"b":2})", R"({"c":3})"}},
    {"key in any case", R"("NODES":[{"a":1}])", 1023, {R"({"a":1})"}},
    {"bracket inside a quoted value ends the walk",
     R"("nodes":[{"a":"x]y"},{"b":2}])",
     1023,
     {R"({"a":"x]y"})"}},
    {"brace inside a quoted value ends the element",
     R"("nodes":[{"a":"x}y","c":3},{"b":2}])",
     1023,
     {R"({"a":"x})", R"({"b":2})"}},
    {"copy cut at the limit",
     R"("nodes":[{"call":"ABCDEF"},{"b":2}])",
     5,
     {R"({"cal)", R"({"b":)"}},
    {"limit zero copies nothing", R"("nodes":[{"a":1}])", 0, {""}},
    {"unclosed element copied to the end of the text", R"("nodes":[{"a":1)", 1023, {R"({"a":1)"}},
    {"unclosed array after an element", R"("nodes":[{"a":1},)", 1023, {R"({"a":1})"}},
    {"nothing after the bracket", R"("nodes":[)", 1023, {}},
    {"nested object ends the element and the walk",
     R"("nodes":[{"a":{"b":1},"c":2}])",
     1023,
     {R"({"a":{"b":1})"}},
    {"value not an array", R"("nodes":{"a":1})", 1023, {}, false},
    {"string value", R"("nodes":"[{}]")", 1023, {}, false},
    {"only the first occurrence counts", R"("nodes":5,"nodes":[{"a":1}])", 1023, {}, false},
    {"key absent", R"("node":[{"a":1}])", 1023, {}, false},
};

void PrintTo(const WalkCase& c, std::ostream* os) {
  *os << c.name;
}

class WalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(WalkTest, YieldsEachElementFromTheText) {
  const WalkCase& c = GetParam();
  const char* array = find_array(c.text.c_str(), "nodes");
  ASSERT_EQ(array != nullptr, c.array_found);
  if (array == nullptr) return;
  EXPECT_EQ(*array, '[');
  std::vector<std::string> elements;
  char buffer[1024];
  for (const char* at = next_object(array, buffer, c.limit); at != nullptr;
       at = next_object(at, buffer, c.limit)) {
    // The position is the element's '{' in the report text, not the copy.
    EXPECT_GE(at, c.text.c_str());
    EXPECT_LT(at, c.text.c_str() + c.text.size());
    EXPECT_EQ(*at, '{');
    elements.emplace_back(buffer);
    ASSERT_LT(elements.size(), 10U);
  }
  EXPECT_EQ(elements, c.elements);
  // Left in the text, the walk goes on from where each call says, and
  // yields the same elements.
  std::vector<std::string> in_place;
  std::string_view object;
  for (const char* at = next_object_in_place(array, c.limit, object); at != nullptr;
       at = next_object_in_place(at, c.limit, object)) {
    in_place.emplace_back(object);
    ASSERT_LT(in_place.size(), 10U);
  }
  EXPECT_EQ(in_place, c.elements);
}

INSTANTIATE_TEST_SUITE_P(ArrayLookup, WalkTest, ::testing::ValuesIn(WALK_CASES),
                         [](const auto& info) {
                           std::string name;
                           for (const char ch : std::string(info.param.name))
                             name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           return name;
                         });

// A copy never runs past the text, even when the limit is larger than what
// is left: the text below is not followed by anything readable.
TEST(ArrayLookup, CopyStopsAtTheEndOfTheText) {
  constexpr std::string_view text = R"("nodes":[{"abc)";
  const auto heap = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(heap.get(), text.data(), text.size());
  char buffer[1024];
  const char* array = find_array(heap.get(), "nodes");
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(next_object(array, buffer, 1023), heap.get() + 9);
  EXPECT_STREQ(buffer, R"({"abc)");
  EXPECT_EQ(next_object(heap.get() + 9, buffer, 1023), nullptr);
}

// Strings of an array: each copied without its quotes, cut to the limit,
// the walk ending at the first element that is no string.
TEST(ArrayLookup, StringsAreYieldedUntilTheFirstThatIsNone) {
  const struct {
    std::string text;
    std::vector<std::string> strings;
  } cases[] = {
      {R"("d":[])", {}},
      {R"("d":[ "A*" , "B-1","CDEFGHIJ"])", {"A*", "B-1", "CDEF"}},
      {R"("d":["A",5,"B"])", {"A"}},
      {R"("d":["A","B)", {"A"}},
      {R"("d":["A" "B"])", {"A"}},
  };
  for (const auto& c : cases) {
    const char* at = find_array(c.text.c_str(), "d");
    ASSERT_NE(at, nullptr) << c.text;
    std::vector<std::string> strings;
    char buffer[5];
    while ((at = next_string(at, buffer, 4)) != nullptr && strings.size() < 10)
      strings.emplace_back(buffer);
    EXPECT_EQ(strings, c.strings) << c.text;
  }
}

}  // namespace
