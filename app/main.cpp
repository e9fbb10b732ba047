#include <QApplication>

#include "app/CTheApp.h"

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    CTheApp theApp;
    if (!theApp.InitInstance()) return theApp.ExitInstance();
    return theApp.Run();
}
