// Typed failures of the settings store. Callers rely on the type, the message is for people.
#pragma once

#include <stdexcept>

// A settings file could not be read or written back, or a key cannot be stored.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A stored value that must be a whole number is not one.
class SettingsValueError : public SettingsError {
 public:
  using SettingsError::SettingsError;
};
