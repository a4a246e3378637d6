#include <QApplication>

#include "support/QtTestMain.h"

int main(int argc, char** argv) { return RunQtTests<QApplication>(argc, argv); }
