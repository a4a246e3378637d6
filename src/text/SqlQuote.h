// Quoting as SQL writes literals ('...') and names (`...`, "..."): the quote character
// around the text and doubled inside it.
#pragma once

#include <string>
#include <string_view>

// Returns text between two `quote` characters, each quote inside doubled.
std::string SqlQuoted(std::string_view text, char quote);
