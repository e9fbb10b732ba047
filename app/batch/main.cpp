// mwst-batch: the program's conversion commands for scripted runs (see BatchRunner.h).
#include <QApplication>
#include <iostream>

#include "app/batch/BatchRunner.h"

namespace {
// Standard error carries the message boxes and the tool's own messages; the
// platform's chatter (offscreen plugin notes) would only bury them.
void OnlySevereQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << message.toStdString() << "\n";
}
}  // namespace

int main(int argc, char* argv[]) {
    // No display is needed: the frame runs offscreen unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(OnlySevereQtMessages);
    QApplication qapp(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    BatchRunner runner;
    return runner.Run(args, std::cout, std::cerr);
}
