// The store's values as the SQL client sends and reads them.
#pragma once

#include <vector>

#include "sql/SqlValue.h"
#include "store/Value.h"

namespace ff {

// Strings whose `binary` flag is set go as bytes (blobs), the others as UTF-8 text.
std::vector<sql::SqlValue> ToSqlValues(const std::vector<Value>& values, const std::vector<bool>& binary = {});

// Whole numbers, doubles and strings (text and bytes alike); NULL as the empty Value.
std::vector<std::vector<Value>> FromSqlRows(std::vector<sql::SqlRow>&& rows);

}  // namespace ff
