// What the sign-on dialog needs of the data module: closing and re-opening every table group.
#pragma once

class TableGroupControl {
 public:
  virtual ~TableGroupControl() = default;
  // Closes every table of the data module.
  virtual void CloseAllFiles() = 0;
  // Closes everything, then opens every table group that the settings enable.
  virtual void OpenAllFiles() = 0;
};
