#include "core/PendraUiBridge.h"

#include "core/UiSeam.h"
#include "pendra/PendraMessages.h"
#include "res/Resource.h"

void PendraUiBridge::ShowMessage(const std::string& text, const std::string& caption) {
    seam_.MessageBox({text, caption, MB_OK | MB_ICONEXCLAMATION});
}

std::optional<std::string> PendraUiBridge::AskPassword(const std::string& prompt,
                                                       const std::string& caption) {
    // A prompt left unanswered ends in the box "password not given": one
    // answer for all stands for both.
    return seam_.InputText({prompt, caption, true, IDS_NO_PASSWORD});
}

std::optional<std::string> PendraUiBridge::SelectMandateDirectory(const std::string& proposal) {
    return seam_.ChooseMandate(proposal);
}

void ShowLibraryError(UiSeam& seam, int id, const std::string& arg, int status) {
    PendraUiBridge bridge(seam);
    ShowError(bridge, id, arg, status);
}
