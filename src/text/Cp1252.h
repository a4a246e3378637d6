// Windows-1252, the encoding of the suite's existing files, to and from UTF-8.
// Every byte decodes (the five bytes the code page leaves open map to the C1 controls of the
// same value), so decoding and encoding again gives back the bytes read.
#pragma once

#include <string>
#include <string_view>

// Returns bytes, read as Windows-1252, as UTF-8.
std::string Cp1252ToUtf8(std::string_view bytes);

// Returns text as Windows-1252; a character the code page lacks becomes "?", a stray byte is
// kept as it is.
std::string Utf8ToCp1252(std::string_view text);

// Returns text with its valid UTF-8 kept and each stray byte read as Windows-1252, so that
// legacy text handed in unconverted still comes out as the letters it meant.
std::string RepairUtf8(std::string_view text);
