// kvist-convert: the conversion tool of the Kvistmerket suite.
#include "app/Startup.h"
#include "settings/windows/Application.h"

int main(int argc, char** argv) {
  const QStringList parameters = [&] {
    QStringList list;
    for (int i = 1; i < argc; ++i) list << QString::fromLocal8Bit(argv[i]);
    return list;
  }();
  PrepareProcess(parameters);
  TApplication app(argc, argv);
  return RunProgram(parameters);
}
