#pragma once

#include <QString>

class QIcon;

namespace kivora::platform {

// The program's icon in the desktop's notification area.
class ITray {
public:
    virtual ~ITray() = default;
    virtual void Add(const QIcon& icon, const QString& tip) = 0;
    virtual void Remove() = 0;
    virtual bool IsShown() const = 0;
};

} // namespace kivora::platform
