// What of a network value reaches the terminal: C0, DEL and C1 hidden.
#include "output/printable.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "tests/support/report_harness.h"

namespace {

struct ShownCase {
  std::string_view received;
  std::string_view shown;
};

constexpr ShownCase SHOWN_CASES[] = {
    {"G4ABC-1 hello", "G4ABC-1 hello"},
    {"", ""},
    // C0 controls and DEL, one dot each; a newline too.
    {"a\x1b[2Jb\x07\x7f\n\t", "a.[2Jb...."},
    {std::string_view("\0x", 2), ".x"},
    // C1 controls as single bytes (the 8-bit CSI 0x9B among them).
    {"N0\x9b"
     "31m",
     "N0.31m"},
    {"\x80\x85\x8d\x9f", "...."},
    // C1 controls written in UTF-8, C2 80 to C2 9F: one dot for two bytes.
    {"\xc2\x80\xc2\x85\xc2\x9b"
     "31m\xc2\x9f",
     "...31m."},
    // UTF-8 text stays, continuation bytes 0x80-0x9F included: sharp s
    // (C3 9F), euro sign (E2 82 AC), no-break space (C2 A0), U+10348.
    {"Stra\xc3\x9f"
     "e \xe2\x82\xac \xc2\xa0 \xf0\x90\x8d\x88",
     "Stra\xc3\x9f"
     "e \xe2\x82\xac \xc2\xa0 \xf0\x90\x8d\x88"},
    // Latin-1 letters and other bytes from 0xA0 up, outside UTF-8, stay.
    {"caf\xe9 M\xfcller \xa0\xbf\xff", "caf\xe9 M\xfcller \xa0\xbf\xff"},
    // Sequences that are not well formed: the lead byte stays when it is
    // 0xA0 or above, a stray 0x80-0x9F goes.
    {"\xe2\x82", "\xe2."},            // cut short
    {"\xc3", "\xc3"},                 // a lead byte alone
    {"\xc0\x9b", "\xc0."},            // overlong CSI
    {"\xe0\x82\x9b", "\xe0.."},       // overlong CSI, three bytes
    {"\xed\xa0\x80", "\xed\xa0."},    // a surrogate
    {"\xf4\x90\x80\x80", "\xf4..."},  // above U+10FFFF
    {"\xe2\x9b", "\xe2."},            // lead and a C1 byte, no third
    {"\xc2\xc2\x9b", "\xc2."},        // a lead cut off by the next sequence
};

TEST(Printable, TableOfReceivedAndShownBytes) {
  for (const ShownCase& c : SHOWN_CASES) {
    SCOPED_TRACE(visible(c.received));
    std::array<char, 64> shown{};
    const std::size_t length = make_printable(c.received, shown);
    EXPECT_EQ(std::string_view(shown.data(), length), c.shown) << visible(shown.data());
    EXPECT_EQ(shown[length], '\0');
  }
}

TEST(Printable, StopsAtTheBufferWithoutSplittingASequence) {
  std::array<char, 5> shown{};
  EXPECT_EQ(make_printable("ab\xe2\x82\xac", shown), 2U);
  EXPECT_STREQ(shown.data(), "ab");
  EXPECT_EQ(make_printable("abcd\x9b", shown), 4U);
  EXPECT_STREQ(shown.data(), "abcd");
  // A C1 control in UTF-8 shrinks to one byte and fits.
  EXPECT_EQ(make_printable("abc\xc2\x9b", shown), 4U);
  EXPECT_STREQ(shown.data(), "abc.");
  std::array<char, 1> none{'x'};
  EXPECT_EQ(make_printable("abc", none), 0U);
  EXPECT_EQ(none[0], '\0');
}

}  // namespace
