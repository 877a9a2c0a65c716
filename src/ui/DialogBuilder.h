#pragma once

#include "res/DialogTemplates.h"

#include <QHash>
#include <QPoint>
#include <QRect>
#include <QSize>

class QDialog;
class QFont;
class QWidget;

namespace kivora::ui {

// Pixels per dialog unit, from the dialog font's own metrics: across, a quarter of
// the average character width; down, an eighth of the line height.
struct DialogUnits {
    double x = 1.5;
    double y = 1.625;

    QRect ToPixels(int x0, int y0, int cx, int cy) const;
    QSize ToPixels(int cx, int cy) const;
    // Pixel positions measured with the original font (1.5 x 1.625 px a unit)
    // scaled to this font, so windows keep their proportions.
    QPoint ScaleOriginalPixels(int px, int py) const;
};

DialogUnits ComputeDialogUnits(const QFont& font);

// The font a template names: its family when the desktop has it, else the
// desktop's sans font, at the template's size.
QFont DialogFont(const res::DialogTemplate& tmpl);

// The widgets made from a template, found by control id.
class CDialogControls final {
public:
    QWidget* Control(int id) const { return byId.value(id, nullptr); }
    template <typename T>
    T* As(int id) const
    {
        return qobject_cast<T*>(Control(id));
    }

    DialogUnits units;
    QHash<int, QWidget*> byId;
};

// The name a screen reader gives a control after its label's text: mnemonic
// ampersands and the trailing colon dropped.
QString AccessibleNameFromLabel(const QString& labelText);

// Makes the controls of tmpl as children of dialog, sets its caption, font and
// fixed size, tab order (template order), the mnemonics of labels, and the
// accessible names of caption-less controls that follow a label.
CDialogControls BuildDialog(QDialog& dialog, const res::DialogTemplate& tmpl);

} // namespace kivora::ui
