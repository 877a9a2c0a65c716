#pragma once

#include <QColor>
#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

#include <string>

class QLabel;

namespace kivora::session {
struct SharedWindowState;
}

namespace kivora::ui {

// The small notice shown in the corner of the work area when a visitor
// asks for a chat. It never takes the keyboard, lives eight seconds and frees
// itself; clicking its text asks the console to accept that chat.
class CRequestPopupDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CRequestPopupDlg)
public:
    static constexpr int kLifetimeMs = 8000;
    static inline const QColor kTextColor{0, 0, 185};

    // shared counts the pop-ups open at once (each further one stacks above the
    // last) and arms the click: only the first click after a pop-up appears
    // accepts, the rest are ignored until a pop-up ends, so one request is never
    // accepted twice.
    CRequestPopupDlg(session::SharedWindowState& shared, int row, std::string ipAddress, std::string sessionId,
                     QWidget* console = nullptr);
    ~CRequestPopupDlg() override;

    // Top-left corner for a pop-up of that size when count pop-ups are open.
    static QPoint Placement(const QRect& workArea, QSize size, int count);

    // The lifetime has run out: the pop-up goes.
    void OnTimer();

    QLabel* TextLabel() const { return text; }
    const QTimer& LifetimeTimer() const { return lifetime; }

Q_SIGNALS:
    void acceptRequested(int row, QString sessionId);
    void ended();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnTextClicked();
    // Undoes what construction did to the shared state; safe to call twice.
    void Release();

    session::SharedWindowState& shared;
    int row;
    std::string sessionId;
    QLabel* text = nullptr;
    QTimer lifetime;
    bool counted = true;
};

} // namespace kivora::ui
