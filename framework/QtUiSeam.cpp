#include "framework/QtUiSeam.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "framework/CFrameWnd.h"
#include "framework/WorkThread.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"

namespace {

// A box asked for by the work's thread is shown on the window's, the work waiting for the answer.
template <typename Ask>
auto AskOnWindowThread(const Ask& ask) {
    decltype(ask()) answer{};
    workthread::Call([&] { answer = ask(); });
    return answer;
}

QMessageBox::Icon IconOf(unsigned type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR: return QMessageBox::Critical;
        case MB_ICONQUESTION: return QMessageBox::Question;
        case MB_ICONEXCLAMATION: return QMessageBox::Warning;
        case MB_ICONINFORMATION: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

struct Button {
    int id;
    QMessageBox::StandardButton qt;
};

std::vector<Button> ButtonsOf(unsigned type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return {{IDOK, QMessageBox::Ok}, {IDCANCEL, QMessageBox::Cancel}};
        case MB_ABORTRETRYIGNORE:
            return {{IDABORT, QMessageBox::Abort}, {IDRETRY, QMessageBox::Retry},
                    {IDIGNORE, QMessageBox::Ignore}};
        case MB_YESNOCANCEL:
            return {{IDYES, QMessageBox::Yes}, {IDNO, QMessageBox::No},
                    {IDCANCEL, QMessageBox::Cancel}};
        case MB_YESNO: return {{IDYES, QMessageBox::Yes}, {IDNO, QMessageBox::No}};
        case MB_RETRYCANCEL: return {{IDRETRY, QMessageBox::Retry}, {IDCANCEL, QMessageBox::Cancel}};
        default: return {{IDOK, QMessageBox::Ok}};
    }
}

// The input dialog has no check box of its own: one goes above its buttons,
// which are the last item of its layout once the label is set.
QCheckBox* AddVerification(QInputDialog& dialog, const std::string& text) {
    auto* layout = qobject_cast<QBoxLayout*>(dialog.layout());
    if (text.empty() || !layout) return nullptr;
    auto* checkBox = new QCheckBox(Q(text), &dialog);
    checkBox->setObjectName(QStringLiteral("verification"));
    layout->insertWidget(layout->count() - 1, checkBox);
    return checkBox;
}

// A prompt naming a long folder would make the dialog wider than the
// screen: its label wraps between words and, inside a path, after each "/",
// within nine tenths of the screen's width.
void WrapPrompt(QInputDialog& dialog, const std::string& prompt) {
    QString breakable = Q(DisplayText(prompt));
    breakable.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
    dialog.setLabelText(breakable);
    if (auto* label = dialog.findChild<QLabel*>()) label->setWordWrap(true);
    const QScreen* screen = dialog.screen();
    dialog.setMaximumWidth((screen ? screen->availableGeometry().width() : 1024) * 9 / 10);
}

}  // namespace

std::string DisplayText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

int QtUiSeam::MessageBox(const MessageBoxRequest& request) {
    if (!workthread::OnWindowThread()) return AskOnWindowThread([&] { return MessageBox(request); });
    QMessageBox box(IconOf(request.type), Q(request.caption), Q(DisplayText(request.text)),
                    QMessageBox::NoButton, owner_);
    box.setObjectName(QStringLiteral("messageBox"));
    const std::vector<Button> buttons = ButtonsOf(request.type);
    const int defaultId = DefaultButtonOf(request.type);
    for (const Button& b : buttons) {
        QPushButton* pushButton = box.addButton(b.qt);
        if (b.id == defaultId) box.setDefaultButton(pushButton);
    }
    if (!request.verification.empty()) {
        box.setCheckBox(new QCheckBox(Q(request.verification), &box));
        box.checkBox()->setObjectName(QStringLiteral("verification"));
    }
    box.exec();
    if (request.verificationChecked && box.checkBox()) *request.verificationChecked = box.checkBox()->isChecked();
    const auto clicked = box.standardButton(box.clickedButton());
    for (const Button& b : buttons)
        if (b.qt == clicked) return b.id;
    // Closed with Escape or the window button: the box's cancelling answer.
    return BoxOffers(request.type, IDCANCEL) ? IDCANCEL : buttons.back().id;
}

std::optional<std::string> QtUiSeam::InputText(const InputRequest& request) {
    if (!workthread::OnWindowThread()) return AskOnWindowThread([&] { return InputText(request); });
    QInputDialog dialog(owner_);
    dialog.setObjectName(QStringLiteral("inputDialog"));
    dialog.setWindowTitle(Q(request.caption));
    WrapPrompt(dialog, request.prompt);
    dialog.setTextEchoMode(request.masked ? QLineEdit::Password : QLineEdit::Normal);
    QCheckBox* verification = AddVerification(dialog, request.verification);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (request.verificationChecked && verification) *request.verificationChecked = verification->isChecked();
    if (!accepted) return std::nullopt;
    return S(dialog.textValue());
}

namespace {

// As wide as the longest item (a backup's line names time, command, size and
// id), so that nothing is cut off; at most nine tenths of the screen.
void FitToItems(QInputDialog& dialog, const QStringList& items) {
    // Frame, margins and the vertical scroll bar around the text.
    constexpr int kAround = 80;
    int widest = 0;
    const QFontMetrics metrics = dialog.fontMetrics();
    for (const QString& item : items) widest = std::max(widest, metrics.horizontalAdvance(item));
    int width = widest + kAround;
    if (const QScreen* screen = dialog.screen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    if (width > dialog.sizeHint().width()) dialog.resize(width, dialog.sizeHint().height());
}

}  // namespace

std::optional<std::size_t> QtUiSeam::ChooseItem(const ChoiceRequest& request) {
    if (!workthread::OnWindowThread()) return AskOnWindowThread([&] { return ChooseItem(request); });
    QInputDialog dialog(owner_);
    dialog.setObjectName(QStringLiteral("choiceDialog"));
    dialog.setWindowTitle(Q(request.caption));
    dialog.setLabelText(Q(DisplayText(request.prompt)));
    QStringList items;
    for (const std::string& item : request.items) items << Q(item);
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(false);
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    FitToItems(dialog, items);
    if (items.isEmpty() || dialog.exec() != QDialog::Accepted) return std::nullopt;
    const qsizetype chosen = items.indexOf(dialog.textValue());
    if (chosen < 0) return std::nullopt;
    return static_cast<std::size_t>(chosen);
}

std::optional<std::string> QtUiSeam::BrowseForFolder(const std::string& preselected) {
    if (!workthread::OnWindowThread()) return AskOnWindowThread([&] { return BrowseForFolder(preselected); });
    const QString dir = QFileDialog::getExistingDirectory(owner_, QString(), Q(preselected));
    if (dir.isEmpty()) return std::nullopt;
    return S(dir);
}

std::optional<std::string> QtUiSeam::ChooseMandate(const std::string& proposal) {
    if (!workthread::OnWindowThread()) return AskOnWindowThread([&] { return ChooseMandate(proposal); });
    QString start = Q(proposal);
    for (;;) {
        const QString dir =
            QFileDialog::getExistingDirectory(owner_, Q(LoadString(IDS_CHOOSE_MANDATE)), start);
        if (dir.isEmpty()) return std::nullopt;
        if (Mandate::PathContainsMandate(S(dir))) return S(dir);
        MessageBox({Format(LoadString(IDS_NO_MANDATE_IN_DIR), S(dir)), LoadString(IDS_TITLE),
                    MB_OK | MB_ICONEXCLAMATION});
        start = dir;
    }
}
