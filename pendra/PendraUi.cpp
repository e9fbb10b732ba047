#include "pendra/PendraUi.h"

#include <iostream>

namespace {

// Without a program UI: messages to standard error, every prompt cancelled.
class StderrPendraUi : public PendraUi {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        std::cerr << caption << ": " << text << std::endl;
    }
    std::optional<std::string> AskPassword(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> SelectMandateDirectory(const std::string&) override {
        return std::nullopt;
    }
};

}  // namespace

PendraUi& PendraUi::Silent() {
    static StderrPendraUi silent;
    return silent;
}
