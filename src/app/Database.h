// A database connection component of the SQL layer: names an alias, a database and a session.
// The conversion window declares one and never connects it.
#pragma once

#include <QString>

class TDatabase {
 public:
  QString AliasName;
  QString DatabaseName;
  QString SessionName;
  bool Connected() const { return false; }
};
