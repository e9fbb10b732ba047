#include <QApplication>

#include "app/CTheApp.h"
#include "app/ProgramCommandLine.h"
#include "app/QtTranslations.h"
#include "base/LocalTimeZone.h"
#include "core/BrisolSettings.h"
#include "core/Strings.h"

int main(int argc, char* argv[]) {
    MwstReadLocalTimeZoneOnce();
    if (auto exitCode = HandleHelpAndVersion(argc, argv)) return *exitCode;
    SetProcessPreferredUILanguages(GetUICultureName());
    FollowCultureInQtSystemLocale(CurrentLanguage());
    QApplication qapp(argc, argv);
    // QApplication has taken its own options out of argv.
    if (auto exitCode = RejectUnknownArguments(argc, argv)) return *exitCode;
    CTheApp theApp;
    if (!theApp.InitInstance()) return theApp.ExitInstance();
    return theApp.Run();
}
