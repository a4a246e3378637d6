// build/kvist-ff run as a child process with a FlashFiler configuration folder of the test's.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <string>

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

// Starts kvist-ff with args; the caller waits for it (or kills it).
inline void StartKvistFf(QProcess& p, const std::string& configDir, const QStringList& args) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("FF_CONFIG_DIR", QString::fromStdString(configDir));
  p.setProcessEnvironment(env);
  p.start(KV_BINARY_DIR "/kvist-ff", args);
}

// Runs kvist-ff to its end with `input` on standard input.
inline ToolRun RunKvistFf(const std::string& configDir, const QStringList& args, const std::string& input = {}) {
  QProcess p;
  StartKvistFf(p, configDir, args);
  p.write(input.data(), static_cast<qint64>(input.size()));
  p.closeWriteChannel();
  p.waitForFinished(120000);
  return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}
