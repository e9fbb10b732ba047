#pragma once
#include <string>

#include "core/UiSeam.h"

// The framework's message box: the program title as caption.
int AfxMessageBox(const std::string& text, unsigned type = MB_OK | MB_ICONEXCLAMATION);
int AfxMessageBox(int stringId, unsigned type = MB_OK | MB_ICONEXCLAMATION);
