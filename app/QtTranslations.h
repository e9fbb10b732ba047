#pragma once
#include "res/ResourceData.h"

// Qt's own texts (standard buttons, file dialogs, context menus, key names)
// in the program's language: Qt's translations for German or French, as the
// system's Qt installs them. Replaces what an earlier call installed; false
// when no translation was found (Qt's texts stay English then).
bool InstallQtTranslations(Language language);
void RemoveQtTranslations();
