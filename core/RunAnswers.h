#pragma once
#include <map>
#include <optional>
#include <string>

#include "core/UiSeam.h"

// The seam of one run over many mandates (a search, a run over the list):
// every box and prompt that tells of a mandate's problem (`problem` set)
// offers the check box "Für alle weiteren Mandanten dieses Laufs", and an
// answer given with it ticked stands for the same problem of every further
// mandate without asking. It stands in front of the seam `asked`, which
// answers everything else; the run passes it where it would pass that seam.
class RunAnswers : public UiSeam {
public:
    explicit RunAnswers(UiSeam& asked) : asked_(asked) {}
    RunAnswers(const RunAnswers&) = delete;
    RunAnswers& operator=(const RunAnswers&) = delete;

    int MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> InputText(const InputRequest& request) override;
    std::optional<std::string> BrowseForFolder(const std::string& preselected) override;
    std::optional<std::string> ChooseMandate(const std::string& proposal) override;
    std::optional<std::size_t> ChooseItem(const ChoiceRequest& request) override;

    // A password given for all is tried once on each mandate: a wrong one
    // must not use up the mandate's tries, so its second prompt goes to the user.
    void NextMandate() { textTried_.clear(); }

private:
    UiSeam& asked_;
    std::map<int, int> buttons_;  // by problem
    std::map<int, std::optional<std::string>> texts_;  // by problem; nullopt: cancelled
    std::map<int, bool> textTried_;
    int cancelled_ = 0;  // the problem of the prompt the user cancelled last, until the next prompt
};
