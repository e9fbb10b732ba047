#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

#include "app/framework/CFrameWnd.h"
#include "core/Strings.h"
#include "res/Resource.h"

namespace {

// The key names that Qt's translation leaves as the English keyboard labels
// them, as German and French keyboards do: the menu shows "Alt+Eingabe".
class KeyNames : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        (void)disambiguation;
        (void)n;
        if (qstrcmp(context, "QShortcut") == 0 && qstrcmp(sourceText, "Return") == 0)
            return Q(LoadString(IDS_KEY_RETURN));
        return {};
    }
    bool isEmpty() const override { return false; }
};

std::unique_ptr<QTranslator> g_translator;
std::unique_ptr<QTranslator> g_keyNames;

}  // namespace

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
