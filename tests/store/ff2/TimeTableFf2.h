// A firm's time table (hours per person, project and day) as a FlashFiler 2 file of any size,
// made with the test builder: for import, streaming and memory trials on big tables.
#pragma once

#include <cstdint>
#include <string>

#include "Ff2TableBuilder.h"

namespace ff2test {

inline constexpr int kTimeTableProjects = 100;

// Row i: NR i+1, DATO 1 January 2020 + i/40 days, INITIALER one of 26, PROSJEKTNR i % 100,
// TIMER 0.5 to 8, TEKST "Arbeid nr i"; TEKST is NULL on every seventh row. Indexes DATO and
// PROSJEKT (PROSJEKTNR, DATO). With deletedEvery > 0 a deleted slot follows every
// deletedEvery-th row. 64 KiB blocks, as the suite's big tables have.
inline Ff2TableBuilder TimeTableBuilder(int rows, int deletedEvery = 0) {
  using ff::ff2::FfType;
  Ff2TableBuilder t({field("NR", FfType::Int32, 4), field("DATO", FfType::DateTime, 8),
                     field("INITIALER", FfType::ShortString, 5, 4), field("PROSJEKTNR", FfType::Int32, 4),
                     field("TIMER", FfType::Double, 8), field("TEKST", FfType::ShortString, 41, 40)},
                    16);
  t.addIndex({"DATO", {1}});
  t.addIndex({"PROSJEKT", {3, 1}});
  for (int i = 0; i < rows; ++i) {
    const std::string initials = std::string("\x03", 1) + static_cast<char>('A' + i % 26) + "KM";
    const std::string text = "Arbeid nr " + std::to_string(i);
    const double day = 43831.0 + i / 40;  // 1 January 2020
    t.addRecord({le32(static_cast<std::uint32_t>(i + 1)), f64(day + 693594.0), initials,
                 le32(static_cast<std::uint32_t>(i % kTimeTableProjects)), f64(0.5 + (i % 16) * 0.5),
                 i % 7 == 6 ? std::nullopt : std::optional<std::string>(static_cast<char>(text.size()) + text)});
    if (deletedEvery > 0 && i % deletedEvery == deletedEvery - 1) t.addDeletedSlot();
  }
  return t;
}

inline std::string BuildTimeTableFf2(int rows) { return TimeTableBuilder(rows).build(); }

}  // namespace ff2test
