#include "ClickableLabel.h"

#include <QMouseEvent>

namespace kivora::ui {

void CClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
}

} // namespace kivora::ui
