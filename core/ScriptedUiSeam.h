#pragma once
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/UiSeam.h"

// A seam that answers from a script instead of asking anybody: queued answers
// first, then each box's default button and "cancel" for prompts. It records
// every request, and can echo message texts to a stream (the batch tool writes
// them to standard error). Used by the tests and by unattended runs.
class ScriptedUiSeam : public UiSeam {
public:
    int MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> InputText(const InputRequest& request) override;
    std::optional<std::string> BrowseForFolder(const std::string& preselected) override;
    std::optional<std::string> ChooseMandate(const std::string& proposal) override;
    // The queued choice, else cancelled.
    std::optional<std::size_t> ChooseItem(const ChoiceRequest& request) override;

    void QueueAnswer(int button) { boxAnswers.push_back(button); }
    // Whether the next box or prompt with a check box gets it ticked (unticked when none is queued).
    void QueueVerification(bool checked) { verificationAnswers.push_back(checked); }
    void QueueText(std::optional<std::string> text) { textAnswers.push_back(std::move(text)); }
    void QueueFolder(std::optional<std::string> path) { folderAnswers.push_back(std::move(path)); }
    void QueueMandate(std::optional<std::string> path) { mandateAnswers.push_back(std::move(path)); }

    // Answers boxes that no queued answer covers; default: the box's default button.
    std::function<int(const MessageBoxRequest&)> boxPolicy;
    // Where message texts are echoed (nullptr: nowhere).
    std::ostream* echo = nullptr;

    std::deque<int> boxAnswers;
    std::deque<std::optional<std::string>> textAnswers;
    std::deque<std::optional<std::string>> folderAnswers;
    std::deque<std::optional<std::string>> mandateAnswers;
    std::deque<std::optional<std::size_t>> choiceAnswers;
    std::deque<bool> verificationAnswers;

    std::vector<MessageBoxRequest> boxes;
    std::vector<InputRequest> inputs;
    std::vector<std::string> folderRequests;
    std::vector<std::string> mandateRequests;
    std::vector<ChoiceRequest> choices;
};
