#pragma once
#include <QObject>
#include <cstddef>
#include <functional>
#include <string>

class QFontMetrics;
class QLabel;
class QProgressBar;
class QString;
class QPushButton;
class QShortcut;
class QStatusBar;

// What the status bar shows while a run over the list's mandates or a
// search goes: the step ("Mandant 3 von 50"), a progress bar and a stop
// button (also Esc); after a run, its result until the next one starts or a
// mandate is opened. The widgets sit at the right end of the status bar,
// hidden while nothing runs.
class RunProgress : public QObject {
public:
    explicit RunProgress(QStatusBar* bar);

    // Shows the progress with `count` steps (0: a search, whose end is not
    // known); `onStop` is called when the user asks to stop.
    void Start(int count, std::function<void()> onStop);
    // Step `index` (from 0) has begun.
    void Step(int index, int count);
    // Within the current step, `done` of `total` records: the bar moves
    // through the step's share, the step's text stays.
    void Within(std::size_t done, std::size_t total);
    void SetText(const std::string& text);
    // The stop button and Esc: once per run.
    void Stop();
    void Finish();
    bool Running() const { return running_; }

    void ShowResult(const std::string& text);
    void HideResult();

    QLabel* Label() const { return label_; }
    QProgressBar* Bar() const { return bar_; }
    QPushButton* StopButton() const { return stop_; }
    QLabel* Result() const { return result_; }
    // The result as wide as the status bar leaves it, shortened only
    // between words; its tooltip keeps the whole text.
    std::string ResultShown() const;

private:
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* result_ = nullptr;
    QShortcut* escape_ = nullptr;
    std::function<void()> onStop_;
    bool running_ = false;
    int step_ = 0;
};

// `text` as it fits `width` pixels: whole, or its leading words followed by
// "…" (only "…" when not even the first word fits). No word is cut.
QString ShortenedAtWords(const QString& text, const QFontMetrics& metrics, int width);
