// What a person sees of a conversion, without a server: the summary table, the notes under it,
// the exit code and the progress line.
#include "convert/ConvertReport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "text/Utf8Text.h"

namespace {

TableOutcome converted(const std::string& table, std::int64_t rows) {
  TableOutcome o;
  o.table = table;
  o.counts.rowsRead = o.counts.rowsWritten = rows;
  o.verified = VerifyResult{};
  o.verified->sourceRows = o.verified->identical = rows;
  return o;
}

TableOutcome failed(const std::string& table, const std::string& error) {
  TableOutcome o;
  o.table = table;
  o.error = error;
  return o;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

}  // namespace

TEST(ConvertReport, SummaryListsEveryTableThenItsNotesThenTheCount) {
  TableOutcome renamed = converted("Ærend", 3);
  renamed.keyName = "kvist_id";
  std::ostringstream out;
  PrintConvertSummary(out, {converted("KUNDE", 12), renamed, failed("VARE", "Tabellen finnes ikke")}, true);
  const auto shown = lines(out.str());
  ASSERT_EQ(shown.size(), 7u) << out.str();
  EXPECT_EQ(shown[0].rfind("Tabell  ", 0), 0u);
  EXPECT_NE(shown[1].find("12 av 12 rader like"), std::string::npos);
  // Columns line up by characters, so a name with æøå pads like any other.
  const auto column = [](const std::string& line) { return Utf8Length(line.substr(0, line.find("0.00"))); };
  EXPECT_EQ(column(shown[2]), column(shown[1]));
  EXPECT_NE(shown[3].find("FEILET"), std::string::npos);
  EXPECT_EQ(shown[4], "Ærend: tabellen har et felt som heter id, så nøkkelen heter kvist_id");
  EXPECT_EQ(shown[5], "VARE: FEILET: Tabellen finnes ikke");
  EXPECT_EQ(shown[6], "2 av 3 tabeller konvertert");
}

// A table that failed after its rows were compared (the swap, or rows the server has beyond the
// source's) shows FEILET alone, never "N av N rader like".
TEST(ConvertReport, AFailedTableShowsNoRowFigures) {
  TableOutcome late = converted("KUNDE", 5);
  late.error = "RENAME TABLE feilet";
  TableOutcome extra = converted("VARE", 4);
  extra.verified->serverRows = 5;
  extra.error = "kontrollen fant forskjeller: kilden har 4 rader, tjeneren 5";
  std::ostringstream out;
  PrintConvertSummary(out, {late, extra}, true);
  const auto shown = lines(out.str());
  ASSERT_EQ(shown.size(), 6u) << out.str();
  for (std::size_t row : {1u, 2u}) {
    EXPECT_EQ(shown[row].substr(shown[row].size() - 8), "  FEILET") << shown[row];
    EXPECT_EQ(shown[row].find("rader like"), std::string::npos) << shown[row];
  }
  EXPECT_EQ(shown[3], "KUNDE: FEILET: RENAME TABLE feilet");
}

TEST(ConvertReport, UnverifiedTablesSaySo) {
  TableOutcome unverified = converted("KUNDE", 1);
  unverified.verified.reset();
  std::ostringstream out;
  PrintConvertSummary(out, {unverified}, false);
  EXPECT_NE(out.str().find("ikke kontrollert"), std::string::npos) << out.str();
}

TEST(ConvertReport, ExitCodeIsWorstOutcomeWithDamageFirst) {
  EXPECT_EQ(ConvertExitCode({}), 0);
  EXPECT_EQ(ConvertExitCode({converted("A", 1), converted("B", 2)}), 0);
  EXPECT_EQ(ConvertExitCode({converted("A", 1), failed("B", "x")}), 1);
  TableOutcome damaged = failed("C", "skadet");
  damaged.damagedSource = true;
  EXPECT_EQ(ConvertExitCode({failed("B", "x"), damaged, converted("A", 1)}), 2);
}

TEST(ConvertReport, ProgressLineRewritesOneLineAndClearsIt) {
  std::ostringstream err;
  ProgressLine progress(err, 1.0);
  progress.TableStarted("KUNDE", 10);
  progress.RowsLoaded("KUNDE", 10, 10);
  progress.StepStarted("KUNDE", ConvertStep::Verifying);
  progress.TableFinished(converted("KUNDE", 10));
  const std::string text = err.str();
  EXPECT_EQ(text.find('\n'), std::string::npos) << "the progress never scrolls the terminal";
  EXPECT_NE(text.find("KUNDE  0 av 10 rader"), std::string::npos) << text;
  EXPECT_NE(text.find("KUNDE  10 av 10 rader"), std::string::npos) << text;
  EXPECT_NE(text.find("KUNDE  kontrollerer"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 4), "\r\x1b[K");
}

// The time left covers the steps after the load, guessed from the tables finished before.
TEST(ConvertReport, ProgressLineCountsTheIndexBuildAndVerificationInTheTimeLeft) {
  std::ostringstream err;
  ProgressLine::TimePoint now{};
  ProgressLine progress(err, 1.0, [&] { return now; });
  const auto after = [&](int seconds) {
    now += std::chrono::seconds(seconds);
    err.str("");
  };
  const auto shown = [&] { return err.str().substr(err.str().rfind("\r\x1b[K") + 4); };

  progress.TableStarted("TIMER", 100);
  after(1);
  progress.RowsLoaded("TIMER", 50, 100);
  EXPECT_EQ(shown(), "TIMER  50 av 100 rader  50 rader/s  ca. 3 s igjen") << "1 s of load and 2 s after it";
  after(1);
  progress.RowsLoaded("TIMER", 100, 100);
  progress.StepStarted("TIMER", ConvertStep::BuildingIndexes);
  EXPECT_EQ(shown(), "TIMER  bygger indekser (0 s)  ca. 2 s igjen");
  after(1);
  progress.StepStarted("TIMER", ConvertStep::Verifying);
  EXPECT_EQ(shown(), "TIMER  kontrollerer (1 s)  ca. 1 s igjen");
  after(2);
  progress.Refresh();
  EXPECT_EQ(shown(), "TIMER  kontrollerer (3 s)") << "a guess run out is not shown as 0 s left";
  after(1);
  progress.TableFinished(converted("TIMER", 100));

  // TIMER took 4 s after 2 s of load: the next table's steps are guessed at 2 s a second of load.
  progress.TableStarted("VARE", 100);
  after(1);
  progress.RowsLoaded("VARE", 100, 100);
  EXPECT_EQ(shown(), "VARE  100 av 100 rader  100 rader/s  ca. 2 s igjen");
  progress.TableFinished(failed("VARE", "x"));
  after(0);
  progress.Refresh();
  EXPECT_EQ(err.str(), "") << "nothing under way, nothing shown";
}
