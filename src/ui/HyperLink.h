#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

namespace kivora::platform {
class IBrowser;
}

namespace kivora::ui {

// A static text shown and used as a link: underlined, in link colours, a hand
// cursor and a tooltip while it has a target, and a click opens the target.
class CHyperLink final : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHyperLink)
public:
    explicit CHyperLink(QWidget* parent = nullptr);

    static inline const QColor kLinkColor{0, 0, 255};
    static inline const QColor kHoverColor{255, 0, 0};
    static inline const QColor kVisitedColor{5, 34, 143};

    // Shows text, links to it and shows it as the tooltip.
    void SetURL(const QString& text);
    // Shows the address and links to "mailto:" + address; an empty address keeps
    // the earlier target, and the tooltip is left as it was.
    void SetEmail(const QString& address);
    void SetLinkTarget(const QString& target);
    // What opens a target; without one a click only marks the link visited.
    void SetBrowser(platform::IBrowser* browser);

    const QString& Target() const { return target; }
    bool IsVisited() const { return visited; }
    bool IsHovered() const { return hover; }
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

    platform::IBrowser* browser = nullptr;
    QString target;
    bool hover = false;
    bool visited = false;
};

} // namespace kivora::ui
