// Character-level work on UTF-8 text: decoding, cutting to a number of characters, and the
// upper-casing used for case-blind names. Stray bytes count as one character each and are
// passed through unchanged, so no input can make these fail.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One character read from UTF-8 text. A stray byte (not part of a valid sequence) reads as
// its own value with length 1 and valid false.
struct Utf8Char {
  char32_t code;
  std::size_t length;
  bool valid;
};

// Reads the character that starts at byte pos. REQUIRES: pos < text.size().
Utf8Char DecodeUtf8Char(std::string_view text, std::size_t pos);

// Appends code as UTF-8. REQUIRES: code is a Unicode scalar value.
void AppendUtf8(std::string& out, char32_t code);

// Returns true iff every byte of text belongs to a valid UTF-8 sequence.
bool IsValidUtf8(std::string_view text);

// Returns the first maxChars characters of text; never splits a character.
std::string Utf8Left(std::string_view text, std::size_t maxChars);

// Returns the number of characters of UTF-8 text, counted as Utf8Left counts them: a stray
// byte is one character, so Utf8Length(Utf8Left(t, n)) <= n for every t.
std::size_t Utf8Length(std::string_view text);

// Returns text upper-cased for the Latin letters (ASCII, Latin-1 and Latin Extended-A,
// so æøå become ÆØÅ); other characters and stray bytes are kept.
std::string Utf8Upper(std::string_view text);

// The length of text's start whose bytes are all ASCII.
std::size_t AsciiPrefixLength(std::string_view text);

// c upper-cased if it is an ASCII letter; any other byte as it is.
inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
