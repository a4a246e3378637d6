// Text that is not UTF-8 on kvist-ff's command line (a Windows-1252 terminal) is stored as the
// letters it meant, never as raw bytes. The arguments go to the real binary byte for byte.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TempAlias.h"

extern char** environ;

namespace {

struct ToolRun {
  int code;
  std::string out;
};

// Runs kvist-ff with args as raw bytes; stdout is read back through a file.
ToolRun runTool(const TempAlias& db, const std::vector<std::string>& args) {
  const std::string outPath = db.root() + "/out.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> argv{KV_BINARY_DIR "/kvist-ff"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return {-1, ""};
  int status = 0;
  waitpid(pid, &status, 0);
  std::string out;
  if (FILE* f = std::fopen(outPath.c_str(), "rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) out.append(buffer, n);
    std::fclose(f);
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(KvistFfText, Windows1252ArgumentsAreStoredAsTheirLettersWithinTheFieldSize) {
  TempAlias db;
  ASSERT_EQ(runTool(db, {"create", "TESTDB", "STED", "NAVN:String:10", "M\xC5L:Integer"}).code, 0);
  ASSERT_EQ(runTool(db, {"insert", "TESTDB", "STED", "NAVN=Sm\xF8rbr\xF8" "d", "M\xC5L=1"}).code, 0);
  ASSERT_EQ(runTool(db, {"insert", "TESTDB", "STED", "NAVN=" + std::string(31, '\x80'), "MÅL=2"}).code, 0);
  std::string tenEuros;
  for (int i = 0; i < 10; ++i) tenEuros += "€";
  EXPECT_EQ(runTool(db, {"dump", "TESTDB", "STED"}).out, "NAVN\tMÅL\nSmørbrød\t1\n" + tenEuros + "\t2\n");
  EXPECT_EQ(runTool(db, {"dump", "TESTDB", "STED", "--filter", "NAVN='Sm\xF8rbr\xF8" "d'"}).out,
            "NAVN\tMÅL\nSmørbrød\t1\n")
      << "a filter typed in Windows-1252 finds the row";
}

}  // namespace
