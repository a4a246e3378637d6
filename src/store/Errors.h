// Typed failures of the table store. Callers rely on the type, the message is for people.
#pragma once

#include <stdexcept>
#include <string>

namespace ff {

// Base of every table-store failure.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A table, alias or folder could not be opened (missing, in use, damaged, field missing).
class ECannotOpen : public Error {
 public:
  using Error::Error;
};

// A post would break a unique index.
class EKeyViolation : public Error {
 public:
  using Error::Error;
};

// A filter text that cannot be parsed or names an unknown field.
class EBadFilter : public Error {
 public:
  using Error::Error;
};

// Change attempted on a read-only table or back end.
class EReadOnly : public Error {
 public:
  using Error::Error;
};

// A write failed because the disk (or the user's quota on it) is full.
class EDiskFull : public Error {
 public:
  using Error::Error;
};

// A field was written, or a post/cancel asked for, while the data set is not editing.
class ENotEditing : public Error {
 public:
  using Error::Error;
};

// A named field or index that the table does not have.
class ENotFound : public Error {
 public:
  using Error::Error;
};

// A required field is empty at post.
class ERequired : public Error {
 public:
  using Error::Error;
};

// An edit met a row that another workstation changed or deleted after it was read; nothing
// was written.
class ERowChanged : public Error {
 public:
  using Error::Error;
};

// Engine or session could not connect (server unreachable, engine inactive).
class EConnection : public Error {
 public:
  using Error::Error;
};

// The store was asked for a kind of storage that no back end has registered (the program did
// not set up its back ends, see Backends.h).
class ENoBackend : public Error {
 public:
  using Error::Error;
};

// The silent abort: cancels the pending data-set operation without any message.
// Deliberately not an Error, so helper routines that report Errors let it pass.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// Raises the silent abort.
[[noreturn]] inline void Abort() { throw EAbort(); }

}  // namespace ff
