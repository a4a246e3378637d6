// Internal failure of the .ff2 reader: the file breaks the format. Ff2File turns it into
// ff::ECannotOpen with the file's name in front, so inner parts need not know the name.
#pragma once

#include <stdexcept>

namespace ff::ff2 {

class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace ff::ff2
