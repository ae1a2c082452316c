// A formatter's field buffer: the value as received and as shown.
#include "intake/field.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

TEST(Field, KeepsTheValueAsReceivedAndAsShown) {
  struct Case {
    const char* report;
    const char* key;
    int limit;
    std::string_view text;
    const char* shown;
  };
  const Case cases[] = {
      {"\"port\":\"\\v3\"", "port", 15, "\\v3", "\\v3"},  // an escape is not decoded
      {"\"port\":\"\v3\"", "port", 15, "\v3", ".3"},
      {"\"srce\":\"N0\x9b"
       "31m\"",
       "srce", 15,
       "N0\x9b"
       "31m",
       "N0.31m"},
      {"\"text\":\"\xc2\x85 Stra\xc3\x9f"
       "e\"",
       "text", 40,
       "\xc2\x85 Stra\xc3\x9f"
       "e",
       ". Stra\xc3\x9f"
       "e"},
      // Cut to the limit first, then shown: the euro sign's first two bytes
      // are no longer a whole sequence.
      {"\"srce\":\"ab\xe2\x82\xac\"", "srce", 4, "ab\xe2\x82", "ab\xe2."},
      {"\"srce\":\"ab\xc3\x9f\"", "srce", 3, "ab\xc3", "ab\xc3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    Field<40> field;
    ASSERT_TRUE(field.read(c.report, c.key, c.limit));
    EXPECT_EQ(field.text(), c.text);
    EXPECT_STREQ(field.shown(), c.shown);
  }
}

TEST(Field, AnAbsentKeyLeavesBothFormsAsTheyWere) {
  Field<8> field;
  EXPECT_TRUE(field.empty());
  ASSERT_TRUE(field.read(R"("dirn":"rcvd")", "dirn"));
  EXPECT_FALSE(field.read(R"("port":"3")", "dirn"));
  EXPECT_EQ(field.text(), "rcvd");
  EXPECT_STREQ(field.shown(), "rcvd");
  ASSERT_TRUE(field.read(R"("dirn":"")", "dirn"));
  EXPECT_TRUE(field.empty());
}

TEST(Field, NeverKeepsMoreThanItsSize) {
  Field<4> field;
  ASSERT_TRUE(field.read(R"("call":"G4ABCDEF")", "call", 1000));
  EXPECT_EQ(field.text(), "G4AB");
}

}  // namespace
