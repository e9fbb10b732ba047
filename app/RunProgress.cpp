#include "app/RunProgress.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>

#include <algorithm>

#include "framework/CFrameWnd.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "res/Resource.h"

namespace {

// The run's result in the status bar: its whole text when there is room,
// else shortened between words as it is drawn, so that the layout may give
// it less than its text's width instead of pushing the rest out of the
// window. text() and the tooltip keep the whole text.
class ResultLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    QString Shown() const { return ShortenedAtWords(text(), fontMetrics(), contentsRect().width()); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        drawFrame(&painter);
        painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, Shown());
    }
};

// The bar's units per step: fine enough for a step's records to move it.
constexpr int kStepUnits = 1000;

}  // namespace

QString ShortenedAtWords(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const QString ellipsis(QChar(0x2026));
    // Drop whole words from the end until the rest and "…" fit.
    for (qsizetype end = text.lastIndexOf(QLatin1Char(' ')); end > 0; end = text.lastIndexOf(QLatin1Char(' '), end - 1)) {
        QString shortened = text.left(end);
        while (!shortened.isEmpty() && !shortened.back().isLetterOrNumber()) shortened.chop(1);
        if (shortened.isEmpty()) break;
        shortened += QLatin1Char(' ') + ellipsis;
        if (metrics.horizontalAdvance(shortened) <= width) return shortened;
    }
    return ellipsis;
}

RunProgress::RunProgress(QStatusBar* bar) : QObject(bar) {
    result_ = new ResultLabel(bar);
    result_->setObjectName(QStringLiteral("runResult"));
    result_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    result_->setContentsMargins(4, 0, 4, 0);
    label_ = new QLabel(bar);
    label_->setObjectName(QStringLiteral("runStep"));
    bar_ = new QProgressBar(bar);
    bar_->setObjectName(QStringLiteral("runProgress"));
    bar_->setTextVisible(false);
    bar_->setMaximumWidth(200);
    bar_->setMaximumHeight(bar->fontMetrics().height() + 2);
    stop_ = new QPushButton(Q(LoadString(IDS_RUN_STOP)), bar);
    stop_->setObjectName(QStringLiteral("runStop"));
    stop_->setToolTip(Q(LoadString(IDS_RUN_STOP_TIP)));
    // The window shows the wait cursor while a run goes; this button takes clicks.
    stop_->setCursor(Qt::ArrowCursor);
    stop_->setFocusPolicy(Qt::NoFocus);
    connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
    // Esc stops at once, wherever the focus is in the window (a button's own
    // shortcut would click it only after its animation).
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), bar->window(), nullptr, nullptr, Qt::WindowShortcut);
    escape_->setEnabled(false);
    connect(escape_, &QShortcut::activated, this, [this] { Stop(); });
    bar->addPermanentWidget(result_);
    bar->addPermanentWidget(label_);
    bar->addPermanentWidget(bar_);
    bar->addPermanentWidget(stop_);
    result_->hide();
    Finish();
}

void RunProgress::Stop() {
    if (!running_ || !stop_->isEnabled()) return;
    stop_->setEnabled(false);
    if (onStop_) onStop_();
}

void RunProgress::Start(int count, std::function<void()> onStop) {
    onStop_ = std::move(onStop);
    running_ = true;
    HideResult();
    label_->clear();
    step_ = 0;
    bar_->setRange(0, count * kStepUnits);  // 0 to 0: busy, the end is not known
    bar_->setValue(0);
    stop_->setEnabled(true);
    escape_->setEnabled(true);
    label_->show();
    bar_->show();
    stop_->show();
}

void RunProgress::Step(int index, int count) {
    label_->setText(Q(Format(LoadString(IDS_RUN_PROGRESS), index + 1, count)));
    step_ = index;
    bar_->setRange(0, count * kStepUnits);
    bar_->setValue(index * kStepUnits);
}

void RunProgress::Within(std::size_t done, std::size_t total) {
    if (total == 0 || bar_->maximum() == 0) return;
    const auto share = static_cast<int>(std::min(done, total) * kStepUnits / total);
    bar_->setValue(step_ * kStepUnits + share);
}

void RunProgress::SetText(const std::string& text) { label_->setText(Q(text)); }

void RunProgress::Finish() {
    running_ = false;
    onStop_ = nullptr;
    if (escape_) escape_->setEnabled(false);
    label_->hide();
    bar_->hide();
    stop_->hide();
}

void RunProgress::ShowResult(const std::string& text) {
    result_->setText(Q(text));
    result_->setToolTip(Q(text));
    result_->show();
}

void RunProgress::HideResult() {
    result_->hide();
    result_->clear();
}

std::string RunProgress::ResultShown() const { return S(static_cast<const ResultLabel*>(result_)->Shown()); }
