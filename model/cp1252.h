#pragma once

// Windows code page 1252, the single-byte character set of the data files and of the panel:
// each byte of a record text stands for one character.  Bytes 0x00-0x7F are ASCII and
// 0xA0-0xFF are the same code points as in Unicode (Latin-1); 0x80-0x9F hold the euro sign,
// curly quotes, dashes and a few letters.  The five bytes that the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 control characters of the same
// number, so every one of the 256 bytes has a character and comes back from it unchanged.
//
// Plain C++ without the toolkit, for the window and for the command-line tool alike.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The Unicode code point that `byte` stands for.
char32_t Cp1252ToCodePoint(unsigned char byte);

// The byte that stands for `codePoint`; nothing when the code page cannot hold it (a Greek
// letter, U+0080, a character beyond the Basic Multilingual Plane, ...).
std::optional<unsigned char> CodePointToCp1252(char32_t codePoint);

// Whether some byte of the code page stands for `codePoint`.
bool Cp1252CanHold(char32_t codePoint);

// The text of `bytes` in UTF-8: one character for every byte, a NUL byte included.
std::string Cp1252ToUtf8(std::string_view bytes);

// The bytes of the UTF-8 text `utf8`, one for every character.  Nothing when `utf8` is not
// well-formed UTF-8 (a truncated or overlong sequence, an encoded surrogate, a value beyond
// U+10FFFF) or holds a character that the code page cannot hold; `errorOffset`, when given,
// then receives the offset in `utf8` of the first such character.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8, std::size_t* errorOffset = nullptr);
