#include "core/PendraUiBridge.h"

#include "core/UiSeam.h"
#include "pendra/PendraMessages.h"
#include "res/Resource.h"

void PendraUiBridge::ShowMessage(const std::string& text, const std::string& caption) {
    UiSeam::Current().MessageBox({text, caption, MB_OK | MB_ICONEXCLAMATION});
}

std::optional<std::string> PendraUiBridge::AskPassword(const std::string& prompt,
                                                       const std::string& caption) {
    // A prompt left unanswered ends in the box "password not given": one
    // answer for all stands for both.
    return UiSeam::Current().InputText({prompt, caption, true, IDS_NO_PASSWORD});
}

void ShowLibraryError(UiSeam& seam, int id, const std::string& arg, int status) {
    seam.MessageBox({PendraMessageText(id, arg, status), PendraMessageText(kMsgErrorCaption),
                     MB_OK | MB_ICONEXCLAMATION});
}

std::optional<std::string> PendraUiBridge::SelectMandateDirectory(const std::string& proposal) {
    return UiSeam::Current().ChooseMandate(proposal);
}
