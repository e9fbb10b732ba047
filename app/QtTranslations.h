#pragma once
#include "res/ResourceData.h"

// Qt's own texts (standard buttons, file dialogs, context menus, key names)
// in the program's language: Qt's translations for German or French, as the
// system's Qt installs them. Replaces what an earlier call installed; false
// when no translation was found (Qt's texts stay English then).
bool InstallQtTranslations(Language language);
void RemoveQtTranslations();
// Qt's file dialog writes dates with the system locale, which Qt reads from
// the environment once: before the QApplication is made, its time category
// is set to the culture's (de_CH or fr_CH) where the system has that locale.
void FollowCultureInQtSystemLocale(Language language);
