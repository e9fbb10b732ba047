#pragma once
#include <optional>
#include <ostream>
#include <string>

#include "core/ScriptedUiSeam.h"

struct BatchOptions;
class PasswordFile;

// mwst-batch's boxes and prompts, never waiting for input: each box prints
// its text on the message stream and is answered from the options (--yes,
// --on-locked); the password prompt of the data library is answered from the
// password file for the one directory being tested, once: a retry after a
// wrong password is cancelled, and the file's password named as wrong.
class BatchSeam : public ScriptedUiSeam {
public:
    BatchSeam(const BatchOptions& options, const PasswordFile& passwords, std::ostream& messages);

    std::optional<std::string> InputText(const InputRequest& request) override;

    // Until WithdrawPassword, the prompt gets the password file's password for
    // the mandate in `dir` (if it has one), and messages go to `messages`.
    void OfferPassword(const std::string& dir, std::ostream& messages);
    void WithdrawPassword();

private:
    const PasswordFile& passwords_;
    std::optional<std::string> offered_;
    std::string dir_;
    bool given_ = false;
};
