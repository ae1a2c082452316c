// Field lookup: the loose search for a quoted key and the two value forms.
#include "intake/field_lookup.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LookupCase {
  const char* text;
  const char* key;
  int limit;
  bool found;
  const char* buffer_after;  // "#" marks the untouched buffer
};

constexpr char SAMPLE[] = R"("@type":"L2Trace","PORT":"12","ilen":  56,"isRF":false,"text":"a\"b",)"
                          R"("nodes":[{"call":"ABC"}],"serial":"","pid":+5)";

const LookupCase LOOKUP_CASES[] = {
    {SAMPLE, "port", 15, true, "12"},
    {SAMPLE, "ilen", 10, true, "56"},
    {SAMPLE, "isRF", 4, true, "fals"},
    {SAMPLE, "text", 1023, true, "a\\"},
    {SAMPLE, "nodes", 15, true, ""},
    {SAMPLE, "call", 9, true, "ABC"},
    {SAMPLE, "serial", 10, true, ""},
    {SAMPLE, "pid", 10, true, ""},
    {SAMPLE, "type", 15, false, "#"},
    {SAMPLE, "ptcl", 7, false, "#"},
    {SAMPLE, "@TYPE", 80, true, "L2Trace"},
    // The first occurrence wins, at any depth.
    {R"("node":{"port":"5"},"port":"7")", "port", 15, true, "5"},
    // A string value taken for the key reads the next key's value.
    {R"("text":"port","l2Type":"UI")", "port", 15, true, "UI"},
    {R"("l2Type":"UI","port")", "port", 15, false, "#"},
    {R"("port" : "3")", "port", 15, true, "3"},
    {R"("port":)", "port", 15, true, ""},
    {R"("port":   ,"x":1)", "port", 15, true, ""},
    {R"("text":"a b")", "text", 15, true, "a b"},
    {R"("text":a b)", "text", 15, true, "a"},
    {R"("n":-12.5,)", "n", 15, true, "-12.5"},
    {R"("n":1e+5)", "n", 15, true, "1e"},
    {R"("ok":true,"no":null)", "ok", 15, true, "true"},
    {R"("ok":true,"no":null)", "no", 15, true, "null"},
    {R"("text":"a\\b")", "text", 15, true, "a\\\\b"},
    {R"("text":"\u00e9")", "text", 15, true, "\\u00e9"},
    {R"("text":"open to the end)", "text", 40, true, "open to the end"},
    {R"("text":"abcdef")", "text", 0, true, ""},
    {R"("text":"abcdef")", "text", -3, true, ""},
    {R"("dirn":"rcvd")", "DIRN", 4, true, "rcvd"},
    {R"("Dirn":"rcvd")", "dirn", 4, true, "rcvd"},
    // The quotes bound the key.
    {R"("ipPtcl":"6","arpPtcl":"x")", "ptcl", 7, false, "#"},
    {R"("l3Type":"NetRom")", "type", 15, false, "#"},
    {R"("nodes":[])", "node", 15, false, "#"},
    {R"("timestamp":"1")", "time", 20, false, "#"},
    // Bytes from 0x80 upwards end a bare value and match only themselves.
    {"\"port\":12\xc3\xa9", "port", 15, true, "12"},
    {"\"p\xc3\xa9\":\"x\"", "P\xc3\xa9", 15, true, "x"},
    {"\"p\xc3\xa9\":\"x\"", "P\xc3\x89", 15, false, "#"},
    // The value as received, control bytes included: only printing hides
    // them (Field::shown), so numbers and filters see what was sent.
    {"\"text\":\"a\x1b[2Jb\x07\x7f\"", "text", 40, true, "a\x1b[2Jb\x07\x7f"},
    {"\"port\":\"\v3\"", "port", 15, true, "\v3"},
};

TEST(FieldLookup, TableOfTextsKeysAndLimits) {
  for (const LookupCase& c : LOOKUP_CASES) {
    SCOPED_TRACE(std::string("text=") + c.text + " key=" + c.key);
    char buffer[2048] = "#";
    EXPECT_EQ(get_field(c.text, c.key, buffer, c.limit), c.found);
    EXPECT_STREQ(buffer, c.buffer_after);
  }
}

TEST(FieldLookup, LimitBoundsTheCopyToLimitPlusTerminator) {
  char buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), 'z');
  ASSERT_TRUE(get_field(R"("call":"G4ABCDEFGHIJ")", "call", buffer, 4));
  EXPECT_STREQ(buffer, "G4AB");
  EXPECT_EQ(buffer[5], 'z');
}

TEST(FieldLookup, NeverWritesPastTheBufferWhateverTheLimit) {
  char buffer[4];
  ASSERT_TRUE(get_field(R"("call":"G4ABCDEFGHIJ")", "call", buffer, 1000));
  EXPECT_STREQ(buffer, "G4A");
}

TEST(FieldLookup, KeysLongerThanTheSearchTextAreAbsent) {
  const std::string key77(77, 'k');
  const std::string key78(78, 'k');
  const std::string text77 = "\"" + key77 + "\":\"v\"";
  const std::string text78 = "\"" + key78 + "\":\"v\"";
  char buffer[8] = "#";
  EXPECT_TRUE(get_field(text77.c_str(), key77, buffer, 7));
  EXPECT_STREQ(buffer, "v");
  char untouched[8] = "#";
  EXPECT_FALSE(get_field(text78.c_str(), key78, untouched, 7));
  EXPECT_STREQ(untouched, "#");
}

TEST(FieldLookup, FiltersCompareAsciiLettersWithoutCase) {
  EXPECT_TRUE(equal_ignoring_case("g4abc-1", "G4ABC-1"));
  EXPECT_TRUE(equal_ignoring_case("", ""));
  EXPECT_FALSE(equal_ignoring_case("G4ABC", "G4ABC-1"));
  EXPECT_FALSE(equal_ignoring_case(".", "\x07"));
  EXPECT_FALSE(equal_ignoring_case("[", "{"));  // 0x5B and 0x7B: not letters
  EXPECT_FALSE(equal_ignoring_case("\xc3\xa9", "\xc3\x89"));
}

TEST(FieldLookup, FindValuePointsAfterColonAndBlanks) {
  const char text[] = "\"nodes\" :\t [ {\"call\":\"A\"} ]";
  const char* value = find_value(text, "nodes");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(*value, '[');
  const char end_text[] = "\"port\":  ";
  EXPECT_EQ(find_value(end_text, "port"), end_text + sizeof end_text - 1);
  EXPECT_EQ(find_value("\"port\"", "port"), nullptr);
  EXPECT_EQ(find_value("", "port"), nullptr);
}

}  // namespace
