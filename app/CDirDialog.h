#pragma once
#include <string>

// The folder browser of "Mandanten suchen": the framework's folder dialog,
// opening at a preselected folder. Keeps the folder chosen.
class CDirDialog {
public:
    // 1 when the user chose an existing folder, whose path (no trailing "/",
    // except the root "/") is then in m_strPath; 0 when cancelled.
    int DoBrowse(std::string strPreselected);

    std::string m_strPath;
};
