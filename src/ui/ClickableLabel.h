#pragma once

#include <QLabel>

namespace kivora::ui {

// A static picture or text that reports clicks (a notifying static control).
class CClickableLabel final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace kivora::ui
