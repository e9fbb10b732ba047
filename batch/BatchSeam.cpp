#include "batch/BatchSeam.h"

#include <utility>

#include "batch/BatchOptions.h"
#include "batch/PasswordFile.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "res/Resource.h"

namespace {

// Abort or Ignore for a mandate another program holds (--on-locked), yes or
// no for every question (--yes), the default button for the rest.
int Answer(const MessageBoxRequest& request, bool yes, bool abortOnLocked) {
    switch (request.type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
        return abortOnLocked ? int(IDABORT) : int(IDIGNORE);
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return yes ? int(IDYES) : int(IDNO);
    case MB_OKCANCEL:
        return yes ? int(IDOK) : int(IDCANCEL);
    default:
        return DefaultButtonOf(request.type);
    }
}

}  // namespace

BatchSeam::BatchSeam(const BatchOptions& options, const PasswordFile& passwords, std::ostream& messages)
    : passwords_(passwords) {
    echo = &messages;
    boxPolicy = [yes = options.yes, abortOnLocked = options.abortOnLocked](const MessageBoxRequest& request) {
        return Answer(request, yes, abortOnLocked);
    };
}

std::optional<std::string> BatchSeam::InputText(const InputRequest& request) {
    inputs.push_back(request);
    if (!offered_ && given_ && echo) *echo << Format(LoadString(IDS_BATCH_PASSWORD_WRONG), dir_) << "\n";
    given_ = given_ || offered_.has_value();
    return std::exchange(offered_, std::nullopt);
}

void BatchSeam::OfferPassword(const std::string& dir, std::ostream& messages) {
    echo = &messages;
    dir_ = dir;
    given_ = false;
    offered_ = passwords_.PasswordOf(dir);
}

void BatchSeam::WithdrawPassword() { offered_.reset(); }
