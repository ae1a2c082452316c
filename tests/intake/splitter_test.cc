// The datagram splitter: which report texts a datagram yields, in order.
#include "intake/splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/report_harness.h"

namespace {

std::vector<std::string> handed_on;

void collect(const char* report) { handed_on.emplace_back(report); }

std::vector<std::string> texts_of(std::string_view datagram) {
  handed_on.clear();
  std::vector<char> data(datagram.begin(), datagram.end());
  data.push_back('\0');
  split_datagram(data.data(), datagram.size(), collect);
  return handed_on;
}

struct SplitCase {
  std::string datagram;
  std::vector<std::string> texts;
};

TEST(Splitter, TableOfDatagrams) {
  const SplitCase cases[] = {
      {R"({"port":"1"})", {R"("port":"1")"}},
      {R"({"port":"1"}{"port":"2"})", {R"("port":"1")", R"("port":"2")"}},
      {R"([{"port":"1"},{"node":{"port":"2"}}])", {R"("port":"1")", R"("node":{"port":"2"})"}},
      {R"({"text":"a}b{c"})", {R"("text":"a}b{c")"}},
      {R"({"text":"say \"hi}\""})", {R"("text":"say \"hi}\"")"}},
      {R"({"text":"a\\"})", {R"("text":"a\\")"}},
      {R"(noise {"port":"1"} trailer })", {R"("port":"1")"}},
      {R"({"port":"1","node":{"port":"2"})", {}},
      {R"({"text":"a}{"port":"1"})", {}},
      {"}{}", {""}},
      {"no braces at all", {}},
      {R"("quoted {"port":"1"} outside")", {R"("port":"1")"}},
      {R"({\}"port":"1"})", {R"(\}"port":"1")"}},
      {std::string(R"({"port":"1"})") + '\0' + R"({"port":"2"})", {R"("port":"1")"}},
      // A missing closing quote: later braces between strings are not
      // counted, braces inside later strings are.
      {R"({"a":"x,"b":"}"})", {R"("a":"x,"b":")"}},
      // The two halves of {"port":"1","node":{"port":"2"},"serial":"7"}
      // cut across datagrams: the head yields nothing, the tail only its
      // nested object when the cut falls before it.
      {R"({"port":"1",)", {}},
      {R"("node":{"port":"2"},"serial":"7"})", {R"("port":"2")"}},
      {R"({"port":"1","node":{"port":)", {}},
      {R"("2"},"serial":"7"})", {}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(visible(c.datagram));
    EXPECT_EQ(texts_of(c.datagram), c.texts);
  }
}

TEST(Splitter, WritesTheTerminatorAfterTheLastByteOnly) {
  char data[] = "{\"port\":\"1\"}XY";
  handed_on.clear();
  split_datagram(data, 12, collect);
  EXPECT_EQ(data[12], '\0');
  EXPECT_EQ(data[13], 'Y');
  EXPECT_EQ(std::string(data), R"({"port":"1"})");
  EXPECT_EQ(handed_on, std::vector<std::string>{R"("port":"1")"});
}

TEST(Splitter, LargestDatagramHandsOnTheWholeObject) {
  const std::string inner = R"("text":")" + std::string(1498 - 9, 'x') + R"(")";
  ASSERT_EQ(inner.size(), 1498U);
  EXPECT_EQ(texts_of("{" + inner + "}"), std::vector<std::string>{inner});
}

TEST(Splitter, ObjectLongerThanItsBufferIsDroppedAndTheScanStaysInStep) {
  const std::string huge = "{\"text\":\"" + std::string(OBJECT_BUFFER_SIZE + 100, '{') + "\"}";
  const std::string fits = "{\"text\":\"" + std::string(OBJECT_BUFFER_SIZE - 12, 'y') + "\"}";
  const std::vector<std::string> texts = texts_of(huge + fits + R"({"port":"9"})");
  ASSERT_EQ(texts.size(), 2U);
  EXPECT_EQ(texts[0], fits.substr(1, fits.size() - 2));
  EXPECT_EQ(texts[1], R"("port":"9")");
}

}  // namespace
