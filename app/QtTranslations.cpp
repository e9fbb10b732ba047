#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <memory>
#include <string>

#include "framework/CFrameWnd.h"
#include "core/Strings.h"
#include "res/Resource.h"

namespace {

// The key names that Qt's translation leaves as the English keyboard labels
// them, as German and French keyboards do: the menu shows "Alt+Eingabe". And
// the texts Qt's translation lacks: a folder's type in the file dialog.
class KeyNames : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        (void)disambiguation;
        (void)n;
        if (qstrcmp(context, "QShortcut") == 0 && qstrcmp(sourceText, "Return") == 0)
            return Q(LoadString(IDS_KEY_RETURN));
        if (qstrcmp(context, "QAbstractFileIconProvider") == 0 && qstrcmp(sourceText, "Folder") == 0)
            return Q(LoadString(IDS_QT_FOLDER));
        return {};
    }
    bool isEmpty() const override { return false; }
};

std::unique_ptr<QTranslator> g_translator;
std::unique_ptr<QTranslator> g_keyNames;

}  // namespace

void FollowCultureInQtSystemLocale(Language language) {
    const char* time = language == Language::French ? "fr_CH.UTF-8" : "de_CH.UTF-8";
    // Without the system's locale data the C library's locale would fall
    // back to "C" altogether when Qt sets it from the environment.
    const locale_t known = newlocale(LC_TIME_MASK, time, static_cast<locale_t>(nullptr));
    if (known == static_cast<locale_t>(nullptr)) return;
    freelocale(known);
    // LC_ALL stands above LC_TIME: its value goes to the other categories.
    if (const char* all = std::getenv("LC_ALL"); all && *all) {
        const std::string value = all;
        for (const char* category : {"LC_CTYPE", "LC_NUMERIC", "LC_COLLATE", "LC_MONETARY", "LC_MESSAGES"})
            setenv(category, value.c_str(), 1);
        unsetenv("LC_ALL");
    }
    setenv("LC_TIME", time, 1);
}

bool InstallQtTranslations(Language language) {
    RemoveQtTranslations();
    // Dates and numbers in Qt's dialogs follow the culture: "9. Dez." / "9 déc.".
    QLocale::setDefault(QLocale(language == Language::French ? QStringLiteral("fr_CH") : QStringLiteral("de_CH")));
    auto translator = std::make_unique<QTranslator>();
    const QString name = language == Language::French ? QStringLiteral("qtbase_fr") : QStringLiteral("qtbase_de");
    if (!translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return false;
    QCoreApplication::installTranslator(translator.get());
    g_translator = std::move(translator);
    // Installed last, asked first.
    g_keyNames = std::make_unique<KeyNames>();
    QCoreApplication::installTranslator(g_keyNames.get());
    return true;
}

void RemoveQtTranslations() {
    for (std::unique_ptr<QTranslator>* translator : {&g_keyNames, &g_translator}) {
        if (!*translator) continue;
        QCoreApplication::removeTranslator(translator->get());
        translator->reset();
    }
}
