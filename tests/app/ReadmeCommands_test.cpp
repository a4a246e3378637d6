// Every command the README shows is run by the whole-program check (or is the CI command that
// runs this test), so the README cannot drift from what works.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The lines of the README's indented blocks that are commands: they start with a script or a
// program of the repository or a shell command; a synopsis with optional arguments ("[-x]",
// "[NAME]") is not a command.
std::vector<std::string> readmeCommands() {
  static const std::regex command(R"(^    +((scripts/|build/|eval |mkdir |printf |cp |\(cd ).*)$)");
  static const std::regex synopsis(R"( \[[-A-Za-z])");
  std::vector<std::string> commands;
  std::istringstream lines(fileText(KV_SOURCE_DIR "/README.md"));
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_match(line, match, command) && !std::regex_search(line, synopsis)) commands.push_back(match[1]);
  }
  return commands;
}

// The check's lines without its comments.
std::string checkCode() {
  std::string code;
  for (const char* script : {"/scripts/check-program.sh", "/scripts/click-sign-on.sh"}) {
    std::istringstream lines(fileText(KV_SOURCE_DIR + std::string(script)));
    for (std::string line; std::getline(lines, line);) {
      if (line.find_first_not_of(' ') != std::string::npos && line[line.find_first_not_of(' ')] != '#') {
        code += line + '\n';
      }
    }
  }
  return code;
}

TEST(ReadmeCommands, EachIsRunByTheWholeProgramCheck) {
  const std::vector<std::string> commands = readmeCommands();
  ASSERT_GE(commands.size(), 10u) << "the README's commands were found";
  const std::string check = checkCode();
  for (const std::string& command : commands) {
    if (command == "scripts/test.sh" || command == "scripts/check-program.sh") continue;  // they run the rest
    EXPECT_NE(check.find(command), std::string::npos)
        << "the README shows \"" << command << "\", which scripts/check-program.sh does not run";
  }
}

}  // namespace
