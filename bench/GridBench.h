// What the grid benchmarks share: a table of customers of any size, and a grid's painting of rows.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/DataSetModel.h"
#include "store/Aliases.h"
#include "store/Session.h"

namespace bench {

// Sets up a grid benchmark's surroundings: the FlashFiler configuration under the folder of
// benchmark data `root`, offscreen windows, and `alias` on its sub-folder `sub`. Returns that
// folder. Call before making the QApplication.
inline std::string gridBenchFolder(const std::string& root, const std::string& sub, const std::string& alias) {
  setenv("FF_CONFIG_DIR", (root + "/config").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string folder = std::filesystem::absolute(root + "/" + sub + "/").string();
  std::filesystem::create_directories(folder);
  ff::AddAlias(alias, folder);
  return folder;
}

// Creates `table` in alias with `rows` rows: NR, NAVN ("Kunde nummer N"), BELOP, DATO, AKTIV.
inline void makeCustomerTable(const std::string& alias, const std::string& table, int rows,
                              const std::vector<ff::IndexDef>& indexes) {
  auto& session = ff::TffSession::DefaultSession();
  session.CreateTable(alias, table,
                      {{"NR", ff::FieldType::Integer},
                       {"NAVN", ff::FieldType::String, 30},
                       {"BELOP", ff::FieldType::Float},
                       {"DATO", ff::FieldType::Date},
                       {"AKTIV", ff::FieldType::Boolean}},
                      indexes);
  auto storage = session.OpenTable(alias, table, {});
  storage->BeginBulk();
  for (int i = 0; i < rows; ++i) {
    storage->Insert({ff::Value{std::int64_t{i}}, ff::Value{"Kunde nummer " + std::to_string(i)},
                     ff::Value{i * 1.25}, ff::Value{37622.0 + i % 3650}, ff::Value{std::int64_t{i % 2}}});
  }
  storage->EndBulk();
}

// Asks for every cell of `count` rows from `first`, as a grid painting them does; returns the
// characters shown.
inline long showRows(const DataSetModel& model, int first, int count) {
  long chars = 0;
  for (int r = first; r < first + count; ++r) {
    for (int c = 0; c < model.columnCount(); ++c) chars += model.data(model.index(r, c)).toString().size();
  }
  return chars;
}

}  // namespace bench
