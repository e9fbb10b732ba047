#include "core/RunAnswers.h"

#include "core/Strings.h"
#include "res/Resource.h"

int RunAnswers::MessageBox(const MessageBoxRequest& request) {
    if (request.problem == 0) return asked_.MessageBox(request);
    if (const auto given = buttons_.find(request.problem); given != buttons_.end())
        return BoxOffers(request.type, given->second) ? given->second : DefaultButtonOf(request.type);
    bool forAll = false;
    MessageBoxRequest offered = request;
    offered.verification = LoadString(IDS_FOR_ALL_MANDATES);
    offered.verificationChecked = &forAll;
    const int answer = asked_.MessageBox(offered);
    // Retry for every mandate would never end; it is asked each time.
    if (forAll && answer != IDRETRY) {
        buttons_[request.problem] = answer;
        // The box telling that a prompt was cancelled, answered for all,
        // stands for the prompt too: it is not asked again either.
        if (cancelled_ == request.problem) texts_[request.problem] = std::nullopt;
    }
    return answer;
}

std::optional<std::string> RunAnswers::InputText(const InputRequest& request) {
    if (request.problem == 0) return asked_.InputText(request);
    if (const auto given = texts_.find(request.problem); given != texts_.end() && !textTried_[request.problem]) {
        textTried_[request.problem] = given->second.has_value();
        cancelled_ = 0;
        return given->second;
    }
    bool forAll = false;
    InputRequest offered = request;
    offered.verification = LoadString(IDS_FOR_ALL_MANDATES);
    offered.verificationChecked = &forAll;
    std::optional<std::string> answer = asked_.InputText(offered);
    cancelled_ = answer ? 0 : request.problem;
    if (forAll) {
        texts_[request.problem] = answer;
        // Cancelled for all: the box saying so is not shown again either.
        if (!answer) buttons_[request.problem] = IDOK;
    }
    return answer;
}

std::optional<std::string> RunAnswers::BrowseForFolder(const std::string& preselected) {
    return asked_.BrowseForFolder(preselected);
}

std::optional<std::string> RunAnswers::ChooseMandate(const std::string& proposal) {
    return asked_.ChooseMandate(proposal);
}

std::optional<std::size_t> RunAnswers::ChooseItem(const ChoiceRequest& request) {
    return asked_.ChooseItem(request);
}
