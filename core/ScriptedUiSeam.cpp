#include "core/ScriptedUiSeam.h"

namespace {
std::optional<std::string> TakeFront(std::deque<std::optional<std::string>>& queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

void AnswerVerification(std::deque<bool>& queue, bool* checked) {
    if (!checked) return;
    *checked = !queue.empty() && queue.front();
    if (!queue.empty()) queue.pop_front();
}
}  // namespace

int ScriptedUiSeam::MessageBox(const MessageBoxRequest& request) {
    boxes.push_back(request);
    AnswerVerification(verificationAnswers, request.verificationChecked);
    if (echo) *echo << request.text << "\n";
    if (!boxAnswers.empty()) {
        int answer = boxAnswers.front();
        boxAnswers.pop_front();
        return answer;
    }
    return boxPolicy ? boxPolicy(request) : DefaultButtonOf(request.type);
}

std::optional<std::string> ScriptedUiSeam::InputText(const InputRequest& request) {
    inputs.push_back(request);
    AnswerVerification(verificationAnswers, request.verificationChecked);
    return TakeFront(textAnswers);
}

std::optional<std::string> ScriptedUiSeam::BrowseForFolder(const std::string& preselected) {
    folderRequests.push_back(preselected);
    return TakeFront(folderAnswers);
}

std::optional<std::string> ScriptedUiSeam::ChooseMandate(const std::string& proposal) {
    mandateRequests.push_back(proposal);
    return TakeFront(mandateAnswers);
}

std::optional<std::size_t> ScriptedUiSeam::ChooseItem(const ChoiceRequest& request) {
    choices.push_back(request);
    if (choiceAnswers.empty()) return std::nullopt;
    const std::optional<std::size_t> answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
}
