#include "RequestPopupDlg.h"

#include "DialogBuilder.h"
#include "OutsideText.h"
#include "session/Session.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace kivora::ui {

CRequestPopupDlg::CRequestPopupDlg(session::SharedWindowState& shared, int row, std::string ipAddress,
                                   std::string sessionId, QWidget* console)
    : QDialog(console), shared(shared), row(row), sessionId(std::move(sessionId))
{
    ++shared.popupCount;

    // A notice, not a window to work in: no frame, no task-bar entry, above the
    // others, and the operator's typing stays where it was.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);

    const CDialogControls controls = BuildDialog(*this, *res::FindDialogTemplate(res::IDD_POPUP));
    text = controls.As<QLabel>(res::IDC_POPUP_TEXT);
    text->setTextFormat(Qt::PlainText);
    text->setText(QStringLiteral("Chat Request from: ") + OutsideText(ipAddress));
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = text->palette();
    palette.setColor(QPalette::WindowText, kTextColor);
    text->setPalette(palette);
    text->installEventFilter(this);
    setCursor(Qt::PointingHandCursor);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(Placement(screen->availableGeometry(), size(), shared.popupCount));

    lifetime.setInterval(kLifetimeMs);
    connect(&lifetime, &QTimer::timeout, this, [this] { OnTimer(); });
    lifetime.start();
    show();
}

CRequestPopupDlg::~CRequestPopupDlg()
{
    lifetime.stop();
    Release();
}

QPoint CRequestPopupDlg::Placement(const QRect& workArea, QSize size, int count)
{
    // The first one's bottom edge sits a pixel below the work area, as the
    // original placement did; each further one stacks a full height higher.
    return QPoint(workArea.x() + workArea.width() - size.width(),
                  workArea.y() + workArea.height() - size.height() * count + 1);
}

void CRequestPopupDlg::OnTimer()
{
    if (!counted)
        return;
    lifetime.stop();
    Release();
    Q_EMIT ended();
    close();
    deleteLater();
}

void CRequestPopupDlg::Release()
{
    if (!counted)
        return;
    counted = false;
    --shared.popupCount;
    // Re-armed so the next request's pop-up answers its click.
    shared.popupClickArmed = true;
}

void CRequestPopupDlg::OnTextClicked()
{
    const bool armed = shared.popupClickArmed;
    // Disarmed before emitting: the console may run a nested event loop while it
    // accepts, and a second click then must not accept again.
    shared.popupClickArmed = false;
    if (armed)
        Q_EMIT acceptRequested(row, QString::fromStdString(sessionId));
}

bool CRequestPopupDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == text && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && text->rect().contains(mouse->position().toPoint()))
            OnTextClicked();
    }
    return QDialog::eventFilter(watched, event);
}

void CRequestPopupDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // A thin sunken edge, so the frameless notice still reads as a window.
    QPainter painter(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

} // namespace kivora::ui
