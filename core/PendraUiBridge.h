#pragma once
#include "pendra/PendraUi.h"

// Routes the data library's error boxes and prompts through the framework's seam.
class PendraUiBridge : public PendraUi {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override;
    std::optional<std::string> AskPassword(const std::string& prompt,
                                           const std::string& caption) override;
    std::optional<std::string> SelectMandateDirectory(const std::string& proposal) override;
};
