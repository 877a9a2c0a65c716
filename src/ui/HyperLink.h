#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

namespace kivora::platform {
class IBrowser;
}

namespace kivora::ui {

// A static text shown and used as a link: underlined, in link colours, a hand
// cursor and a tooltip while it has a target, and a click opens the target. What
// it is given comes from outside: only a web address or a bare mail address
// becomes a link; any other text is shown as plain text that does nothing.
class CHyperLink final : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHyperLink)
public:
    explicit CHyperLink(QWidget* parent = nullptr);

    static inline const QColor kLinkColor{0, 0, 255};
    static inline const QColor kHoverColor{255, 0, 0};
    static inline const QColor kVisitedColor{5, 34, 143};

    // Shows text, links to it and shows it as the tooltip, when it is an http or
    // https address; otherwise shows it as plain text.
    void SetURL(const QString& text);
    // Shows the address and links to "mailto:" + address; an empty address keeps
    // the earlier target, and the tooltip is left as it was. Anything but a bare
    // address (a query part, another scheme) is shown as plain text.
    void SetEmail(const QString& address);
    void SetLinkTarget(const QString& target);
    // What opens a target; without one a click only marks the link visited.
    void SetBrowser(platform::IBrowser* browser);

    const QString& Target() const { return target; }
    bool IsVisited() const { return visited; }
    bool IsHovered() const { return hover; }
    // Shown as plain text: what it was given is no address to open.
    bool IsPlain() const { return plain; }
    // The colour the text is drawn in now.
    QColor TextColor() const;

Q_SIGNALS:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyColor();
    void SetPlain(bool isPlain);

    platform::IBrowser* browser = nullptr;
    QString target;
    bool hover = false;
    bool visited = false;
    bool plain = false;
};

} // namespace kivora::ui
