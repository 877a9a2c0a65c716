#include "HyperLink.h"

#include "OutsideText.h"
#include "platform/Browser.h"

#include <QEnterEvent>
#include <QFont>
#include <QMouseEvent>
#include <QPalette>

namespace kivora::ui {

CHyperLink::CHyperLink(QWidget* parent) : QLabel(parent)
{
    // What is shown is a visitor's address or a referrer, never markup.
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(false);
    // Only the underline is pinned, so the family and size still follow the
    // dialog's font.
    QFont underlined;
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::ArrowCursor);
    ApplyColor();
}

void CHyperLink::SetURL(const QString& text)
{
    const QString shown = Neutralised(text);
    setText(shown);
    const QUrl url = WebLinkTarget(text);
    SetPlain(!text.isEmpty() && url.isEmpty());
    SetLinkTarget(url.isEmpty() ? QString() : url.toString(QUrl::FullyEncoded));
    setToolTip(plain ? QString() : AsLiteralRichText(shown));
}

void CHyperLink::SetEmail(const QString& address)
{
    setText(Neutralised(address));
    if (address.isEmpty())
        return;
    const QUrl url = MailLinkTarget(address);
    SetPlain(url.isEmpty());
    SetLinkTarget(url.isEmpty() ? QString() : url.toString(QUrl::FullyEncoded));
}

void CHyperLink::SetPlain(bool isPlain)
{
    if (plain == isPlain)
        return;
    plain = isPlain;
    QFont look = font();
    look.setUnderline(!plain);
    setFont(look);
    ApplyColor();
}

void CHyperLink::SetLinkTarget(const QString& newTarget)
{
    setCursor(newTarget.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
    target = newTarget;
    update();
}

void CHyperLink::SetBrowser(platform::IBrowser* newBrowser)
{
    browser = newBrowser;
}

QColor CHyperLink::TextColor() const
{
    if (visited)
        return kVisitedColor;
    if (hover)
        return kHoverColor;
    return kLinkColor;
}

void CHyperLink::ApplyColor()
{
    QPalette pal = palette();
    if (plain) {
        // The text colours of the window around it, as any other label has.
        const QPalette window = parentWidget() ? parentWidget()->palette() : QPalette();
        const QColor active = window.color(QPalette::Active, QPalette::WindowText);
        const QColor inactive = window.color(QPalette::Inactive, QPalette::WindowText);
        if (pal.color(QPalette::Active, QPalette::WindowText) == active &&
            pal.color(QPalette::Inactive, QPalette::WindowText) == inactive)
            return;
        pal.setColor(QPalette::Active, QPalette::WindowText, active);
        pal.setColor(QPalette::Inactive, QPalette::WindowText, inactive);
        setPalette(pal);
        return;
    }
    const QColor color = TextColor();
    if (pal.color(QPalette::Active, QPalette::WindowText) == color &&
        pal.color(QPalette::Inactive, QPalette::WindowText) == color)
        return;
    // The disabled group is left alone so that a disabled link still reads as
    // disabled.
    pal.setColor(QPalette::Active, QPalette::WindowText, color);
    pal.setColor(QPalette::Inactive, QPalette::WindowText, color);
    setPalette(pal);
}

void CHyperLink::enterEvent(QEnterEvent* event)
{
    if (plain) {
        QLabel::enterEvent(event);
        return;
    }
    hover = true;
    ApplyColor();
    repaint();
    QLabel::enterEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event)
{
    if (plain) {
        QLabel::leaveEvent(event);
        return;
    }
    hover = false;
    ApplyColor();
    repaint();
    QLabel::leaveEvent(event);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event)
{
    if (plain || event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    // Whether the desktop could open it is not reported: the link is marked
    // visited either way, as it always has been.
    if (browser && !target.isEmpty())
        browser->OpenUrl(target);
    visited = true;
    ApplyColor();
    repaint();
    Q_EMIT clicked();
}

void CHyperLink::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    // A palette or font set from outside (a style change, a host setting a whole
    // font) must not take away the link look.
    if (event->type() == QEvent::PaletteChange) {
        ApplyColor();
    } else if (event->type() == QEvent::FontChange && !plain && !font().underline()) {
        QFont underlined = font();
        underlined.setUnderline(true);
        setFont(underlined);
    }
}

} // namespace kivora::ui
