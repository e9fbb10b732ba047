#pragma once
#include <QDialog>
#include <QPixmap>

class QLabel;

// The about box (dialog 100): the program's icon, name and version, the
// licences of the libraries it uses, and a small hidden animation that a
// double click on the icon with Shift, Ctrl and Alt held starts.
class CAboutDlg : public QDialog {
public:
    static constexpr int kTimerInterval = 100;  // ms
    static constexpr int kStep = 5;             // pixels per tick

    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    // A left double click at `point` (client coordinates) with `modifiers` held.
    void OnLButtonDblClk(Qt::KeyboardModifiers modifiers, const QPoint& point);
    void DoSecret();
    void OnTimer();
    void Drawit();

    bool IsAnimating() const { return m_animating != 0; }
    bool IsTimerActive() const { return timerId_ != 0; }
    int Position() const { return m_position; }
    QRect IconRect() const;
    // Dialog units to pixels, from the dialog font's average character size.
    QRect DialogUnits(int x, int y, int w, int h) const;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void done(int result) override;

private:
    void OnDestroy();
    void ShowLicences();

    int m_animating = 0;
    QPixmap m_picture;
    int m_position = 0;
    int timerId_ = 0;
    QLabel* icon_ = nullptr;
};

// The licence texts shown on the about box's second page.
QString LicenceText();
