#pragma once

#include <QString>

class QWidget;

namespace kivora::platform {

enum class BoxIcon { Error, Warning, Information };

// Modal message boxes with the OK button only. Called on the GUI thread.
class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // owner may be null (a box of its own, as the server link's warnings are).
    virtual void Show(QWidget* owner, const QString& text, const QString& caption, BoxIcon icon) = 0;
    // A question with Yes and No, No the default; true for Yes.
    virtual bool Ask(QWidget* owner, const QString& text, const QString& caption) = 0;
};

} // namespace kivora::platform
