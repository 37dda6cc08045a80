#include "model/cp1252.h"

#include <array>

namespace {

// Bytes 0x80-0x9F.  The five bytes without a character of their own keep the C1 control
// character of their number.
constexpr std::array<char32_t, 32> kHighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80-0x87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88-0x8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90-0x97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98-0x9F
};

constexpr bool InHighHalf(unsigned value) { return value >= 0x80 && value <= 0x9F; }

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {  // every character of the code page lies in the Basic Multilingual Plane
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes the UTF-8 sequence at `text[at]`, advancing `at` past it; nothing (and `at`
// unchanged) for a malformed sequence.
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(at);
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  // The length of the sequence, the value bits of its lead byte, and the smallest value a
  // sequence of that length may carry (anything less is an overlong form).
  std::size_t length = 4;
  char32_t c = lead & 0x07;
  char32_t least = 0x10000;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    c = lead & 0x1F;
    least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    c = lead & 0x0F;
    least = 0x800;
  } else if ((lead & 0xF8) != 0xF0) {
    return std::nullopt;  // a continuation byte or a byte that UTF-8 never uses
  }
  if (text.size() - at < length) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  at += length;
  return c;
}

}  // namespace

char32_t Cp1252ToCodePoint(unsigned char byte) { return InHighHalf(byte) ? kHighHalf[byte - 0x80] : byte; }

std::optional<unsigned char> CodePointToCp1252(char32_t codePoint) {
  if (codePoint <= 0xFF && !InHighHalf(codePoint)) return static_cast<unsigned char>(codePoint);
  for (std::size_t i = 0; i < kHighHalf.size(); ++i)
    if (kHighHalf[i] == codePoint) return static_cast<unsigned char>(0x80 + i);
  return std::nullopt;
}

bool Cp1252CanHold(char32_t codePoint) { return CodePointToCp1252(codePoint).has_value(); }

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char b : bytes) AppendUtf8(out, Cp1252ToCodePoint(static_cast<unsigned char>(b)));
  return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view utf8, std::size_t* errorOffset) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t start = at;
    const std::optional<char32_t> c = NextCodePoint(utf8, at);
    const std::optional<unsigned char> b = c ? CodePointToCp1252(*c) : std::nullopt;
    if (!b) {
      if (errorOffset) *errorOffset = start;
      return std::nullopt;
    }
    out += static_cast<char>(*b);
  }
  return out;
}
