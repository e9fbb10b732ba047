#include "core/AfxMessageBox.h"

#include "core/Strings.h"
#include "res/Resource.h"

int AfxMessageBox(const std::string& text, unsigned type) {
    return UiSeam::Current().MessageBox({text, LoadString(IDS_TITLE), type});
}

int AfxMessageBox(int stringId, unsigned type) { return AfxMessageBox(LoadString(stringId), type); }
