// A strict JSON check (RFC 8259, UTF-8) for what pellarin-kiss sends:
// tests and the fuzzer hold every report to it.
#include "tests/support/strict_json.h"

#include <cstddef>
#include <cstdint>

namespace {

// Deeper nesting than any report has; it bounds the recursion.
constexpr int MAX_DEPTH = 32;

class Checker {
 public:
  explicit Checker(std::string_view text) : text_(text) {}

  bool object_document() {
    skip_space();
    if (peek() != '{' || !value(0)) return false;
    skip_space();
    return at_ == text_.size();
  }

 private:
  int peek() const { return at_ < text_.size() ? static_cast<unsigned char>(text_[at_]) : -1; }

  void skip_space() {
    while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r') ++at_;
  }

  bool literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool value(int depth) {
    if (depth > MAX_DEPTH) return false;
    skip_space();
    switch (peek()) {
      case '{':
        return object(depth);
      case '[':
        return array(depth);
      case '"':
        return string();
      case 't':
        return literal("true");
      case 'f':
        return literal("false");
      case 'n':
        return literal("null");
      default:
        return number();
    }
  }

  bool object(int depth) {
    ++at_;
    skip_space();
    if (peek() == '}') return ++at_, true;
    for (;;) {
      skip_space();
      if (peek() != '"' || !string()) return false;
      skip_space();
      if (peek() != ':') return false;
      ++at_;
      if (!value(depth + 1)) return false;
      skip_space();
      if (peek() == '}') return ++at_, true;
      if (peek() != ',') return false;
      ++at_;
    }
  }

  bool array(int depth) {
    ++at_;
    skip_space();
    if (peek() == ']') return ++at_, true;
    for (;;) {
      if (!value(depth + 1)) return false;
      skip_space();
      if (peek() == ']') return ++at_, true;
      if (peek() != ',') return false;
      ++at_;
    }
  }

  bool digits() {
    const size_t start = at_;
    while (peek() >= '0' && peek() <= '9') ++at_;
    return at_ > start;
  }

  bool number() {
    if (peek() == '-') ++at_;
    if (peek() == '0') {
      ++at_;
    } else if (!digits()) {
      return false;
    }
    if (peek() == '.') {
      ++at_;
      if (!digits()) return false;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++at_;
      if (peek() == '+' || peek() == '-') ++at_;
      if (!digits()) return false;
    }
    return true;
  }

  static bool is_hex(int c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }

  // One UTF-8 sequence from a lead byte of 0x80 or more: no overlong forms,
  // no surrogates, nothing past U+10FFFF.
  bool utf8() {
    const int lead = peek();
    size_t extra = 0;
    uint32_t low = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, low = 0x80, code = static_cast<uint32_t>(lead & 0x1F);
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, low = 0x800, code = static_cast<uint32_t>(lead & 0x0F);
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, low = 0x10000, code = static_cast<uint32_t>(lead & 0x07);
    } else {
      return false;
    }
    ++at_;
    for (size_t i = 0; i < extra; ++i) {
      const int next = peek();
      if (next < 0x80 || next > 0xBF) return false;
      code = code << 6 | static_cast<uint32_t>(next & 0x3F);
      ++at_;
    }
    return code >= low && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
  }

  bool string() {
    ++at_;
    for (;;) {
      const int c = peek();
      if (c < 0) return false;
      if (c == '"') return ++at_, true;
      if (c < 0x20) return false;
      if (c == '\\') {
        ++at_;
        const int e = peek();
        if (e == 'u') {
          ++at_;
          for (int i = 0; i < 4; ++i, ++at_) {
            if (!is_hex(peek())) return false;
          }
          continue;
        }
        if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' && e != 'r' &&
            e != 't') {
          return false;
        }
        ++at_;
        continue;
      }
      if (c >= 0x80) {
        if (!utf8()) return false;
        continue;
      }
      ++at_;
    }
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

bool is_strict_json_object(std::string_view text) {
  return Checker(text).object_document();
}
