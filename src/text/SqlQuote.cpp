#include "text/SqlQuote.h"

std::string SqlQuoted(std::string_view text, char quote) {
  std::string out(1, quote);
  out.reserve(text.size() + 2);
  for (char c : text) {
    out += c;
    if (c == quote) out += quote;
  }
  out += quote;
  return out;
}
