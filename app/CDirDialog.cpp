#include "app/CDirDialog.h"

#include <filesystem>

#include "framework/AppSeam.h"

int CDirDialog::DoBrowse(std::string strPreselected) {
    std::optional<std::string> chosen = AppSeam::Current().BrowseForFolder(strPreselected);
    if (!chosen || chosen->empty()) return 0;
    std::error_code error;
    if (!std::filesystem::is_directory(*chosen, error)) return 0;
    std::string path = *chosen;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    m_strPath = path;
    return 1;
}
