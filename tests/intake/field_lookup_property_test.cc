// The field search against the plain reference search it must equal, and
// the one-pass scan against the field search: many random and mutated
// report texts, keys that hide in values, prefixes of other keys, odd
// cases, quotes at the ends, unterminated strings.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "intake/field.h"
#include "intake/field_lookup.h"
#include "intake/field_scan.h"

namespace {

// The lookup as plainly as it can be said: "key" searched at every position
// of the text, ASCII letters without case, then the closing quote, the next
// colon and the white space after it.
const char* reference_find_value(const char* text, std::string_view key) {
  if (key.size() > MAX_KEY_LENGTH) return nullptr;
  const std::string needle = "\"" + std::string(key) + "\"";
  const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  for (const char* start = text; *start != '\0'; ++start) {
    std::size_t i = 0;
    while (i < needle.size() && start[i] != '\0' && fold(start[i]) == fold(needle[i])) ++i;
    if (i < needle.size()) continue;
    const char* at = std::strchr(start + 1, '"');
    if (at == nullptr) return nullptr;
    at = std::strchr(at, ':');
    if (at == nullptr) return nullptr;
    ++at;
    while (*at != '\0' && std::strchr(" \t\n\v\f\r", *at) != nullptr) ++at;
    return at;
  }
  return nullptr;
}

const std::vector<std::string> KEYS = {"port",
                                       "PORT",
                                       "Port",
                                       "por",
                                       "portx",
                                       "type",
                                       "@type",
                                       "l3Type",
                                       "l3type",
                                       "node",
                                       "nodes",
                                       "call",
                                       "text",
                                       "dirn",
                                       "ptcl",
                                       "ipPtcl",
                                       "time",
                                       "timestamp",
                                       "p",
                                       "",
                                       "a\"b",
                                       "x y",
                                       "srce",
                                       "dest",
                                       "frmsQdPeak",
                                       std::string(77, 'k'),
                                       std::string(78, 'k')};

const std::vector<std::string> SEEDS = {
    R"("@type":"L2Trace","PORT":"12","ilen":  56,"isRF":false,"text":"a\"b","nodes":[{"call":"ABC"}],"serial":"","pid":+5)",
    R"("@type":"L2Trace","port":"3","srce":"G4ABC-1","dest":"G4XYZ","l2Type":"I","ptcl":"NET/ROM","l3Type":"NetRom","text":"port","type":"NODES")",
    R"("node":{"port":"5"},"port":"7")",
    R"("text":"port","l2Type":"UI")",
    R"("l2Type":"UI","port")",
    R"("port" : "3")",
    R"("port":)",
    R"("ipPtcl":6,"arpPtcl":"x","ptcl":"IP","@type":"x","type":"y","l3Type":"z")",
    R"("nodes":[{"node":"G4ABC","call":"N0DE"}],"timestamp":12,"time":13)",
};

// Bytes that matter to the search, and a few that do not.
constexpr std::string_view ALPHABET =
    "\"\"\"\"::: ,{}[]\\\t\nPpOoRrTtYyEe@3lNnDdSs-.+k\x80\xff\xc4\xd3`[";

std::string random_text(std::mt19937& random) {
  std::uniform_int_distribution<std::size_t> length(0, 60);
  std::uniform_int_distribution<std::size_t> pick(0, ALPHABET.size() - 1);
  std::uniform_int_distribution<std::size_t> key_pick(0, KEYS.size() - 1);
  std::bernoulli_distribution insert_key(0.2);
  std::string text;
  const std::size_t n = length(random);
  for (std::size_t i = 0; i < n; ++i) {
    if (insert_key(random)) text += "\"" + KEYS[key_pick(random)];
    text += ALPHABET[pick(random)];
  }
  return text;
}

std::string mutated(std::string text, std::mt19937& random) {
  std::uniform_int_distribution<int> edits(1, 6);
  std::uniform_int_distribution<int> kind(0, 4);
  std::uniform_int_distribution<std::size_t> pick(0, ALPHABET.size() - 1);
  const int n = edits(random);
  for (int e = 0; e < n && !text.empty(); ++e) {
    std::uniform_int_distribution<std::size_t> at(0, text.size() - 1);
    const std::size_t i = at(random);
    switch (kind(random)) {
      case 0:
        text.erase(i, 1);
        break;
      case 1:
        text.insert(text.begin() + static_cast<std::ptrdiff_t>(i), ALPHABET[pick(random)]);
        break;
      case 2:
        text[i] = static_cast<char>(std::isupper(static_cast<unsigned char>(text[i]))
                                        ? std::tolower(static_cast<unsigned char>(text[i]))
                                        : std::toupper(static_cast<unsigned char>(text[i])));
        break;
      case 3:
        text.resize(i);
        break;  // cut: unterminated strings, quotes at the end
      default:
        text.insert(0, text.substr(i));
        break;
    }
  }
  return text;
}

// The keys above that a scan can look for, all in one scan, with a short
// limit for some; "nodes" also byte for byte.
constexpr std::array<ScanKey, 25> SCANNED_ARRAY = {{
    {"port"},  {"PORT"},   {"Port", 2}, {"por"},       {"portx"},    {"type"}, {"@type"},
    {"l3Type"}, {"l3type"}, {"node"},   {"nodes"},     {"call", 3},  {"text"}, {"dirn"},
    {"ptcl"},  {"ipPtcl"}, {"time"},    {"timestamp"}, {"p", 1},     {"x y"},  {"srce"},
    {"dest"},  {"frmsQdPeak"}, {"nodes", 15, true}, {"Nodes", 15, true},
}};
constexpr ScanKeys<SCANNED_ARRAY.size()> SCANNED(SCANNED_ARRAY);

// A key's first occurrence byte for byte, then as find_value goes on.
const char* reference_find_exact(const char* text, std::string_view key) {
  const char* start = std::strstr(text, ("\"" + std::string(key) + "\"").c_str());
  if (start == nullptr) return nullptr;
  const char* at = std::strchr(start + 1 + key.size() + 1, ':');
  if (at == nullptr) return nullptr;
  ++at;
  while (*at != '\0' && std::strchr(" \t\n\v\f\r", *at) != nullptr) ++at;
  return at;
}

void expect_same_everywhere(const std::string& text) {
  for (const std::string& key : KEYS) {
    const char* expected = reference_find_value(text.c_str(), key);
    const char* found = find_value(text.c_str(), key);
    ASSERT_EQ(found, expected) << "text: " << text << "\nkey: " << key;
  }
  const FieldScan<SCANNED.size()> scan(text, SCANNED);
  for (std::size_t key = 0; key < SCANNED.size(); ++key) {
    const ScanKey& scanned = SCANNED[key];
    const char* expected = scanned.exact ? reference_find_exact(text.c_str(), scanned.name)
                                         : find_value(text.c_str(), scanned.name);
    ASSERT_EQ(scan.has(key) ? scan.value_at(key) : nullptr, expected)
        << "text: " << text << "\nscanned key: " << scanned.name;
    if (scanned.exact) continue;
    Field<15> field;
    field.read(text.c_str(), scanned.name, scanned.limit);
    ASSERT_EQ(scan.text(key), field.text()) << "text: " << text << "\nscanned key: " << scanned.name;
  }
}

TEST(FieldLookupProperty, SameAsTheReferenceOnTheSeeds) {
  for (const std::string& seed : SEEDS) expect_same_everywhere(seed);
}

TEST(FieldLookupProperty, SameAsTheReferenceOnRandomTexts) {
  std::mt19937 random(1515);
  for (int i = 0; i < 50000; ++i) expect_same_everywhere(random_text(random));
}

TEST(FieldLookupProperty, SameAsTheReferenceOnMutatedReports) {
  std::mt19937 random(1313);
  std::uniform_int_distribution<std::size_t> seed(0, SEEDS.size() - 1);
  for (int i = 0; i < 50000; ++i) expect_same_everywhere(mutated(SEEDS[seed(random)], random));
}

// A stop key ends the scan where it stands, and only there: a key found
// before it keeps its value, one after it is not found, and a scan whose
// other keys are all found ends before it.
TEST(FieldScan, AStopKeyEndsTheScan) {
  constexpr ScanKeys<3> KEYS_WITH_STOP(std::array<ScanKey, 3>{{
      {"port"}, {"tseq"}, {"nodes", 15, true, true},
  }});
  const struct {
    std::string_view text;
    const char* port;  // the value expected, or null for none
    const char* tseq;
  } cases[] = {
      {R"("port":"1","nodes":[{"tseq":3}],"tseq":4)", "1", nullptr},
      {R"("port":"1","NODES":[],"tseq":4)", "1", "4"},
      {R"("nodes","port":"1")", nullptr, nullptr},
      {R"("tseq":2,"port":"7","nodes")", "7", "2"},
  };
  for (const auto& c : cases) {
    const FieldScan<3> scan(c.text, KEYS_WITH_STOP);
    EXPECT_EQ(scan.has(0) ? std::string(scan.text(0)) : "none", c.port ? c.port : "none") << c.text;
    EXPECT_EQ(scan.has(1) ? std::string(scan.text(1)) : "none", c.tseq ? c.tseq : "none") << c.text;
    EXPECT_FALSE(scan.has(2));
  }
}

TEST(FieldLookupProperty, TheReferenceItselfFindsWhatItShould) {
  // The reference must not agree with anything by being wrong the same way.
  const char text[] = R"("text":"port","Port" :  "7","l3Type":"a")";
  // The value "port" comes first; the next colon is that of "Port".
  EXPECT_STREQ(reference_find_value(text, "port"), R"("7","l3Type":"a")");
  EXPECT_STREQ(reference_find_value(text, "PORT"), R"("7","l3Type":"a")");
  EXPECT_STREQ(reference_find_value(text, "l3type"), R"("a")");
  EXPECT_EQ(reference_find_value(text, "type"), nullptr);
  EXPECT_EQ(reference_find_value(R"("port")", "port"), nullptr);
}

}  // namespace
