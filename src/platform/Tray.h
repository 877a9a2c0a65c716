#pragma once

#include <QString>

#include <functional>

class QIcon;

namespace kivora::platform {

// What the tray icon's double-click and menu do.
struct TrayActions {
    std::function<void()> showDialog; // double-click and "Show &Dialog"
    std::function<void()> logOut;
    std::function<void()> exit;
    // "Show &Dialog" is greyed while this answers true.
    std::function<bool()> dialogVisible;
};

// The program's icon in the desktop's notification area, with its menu.
class ITray {
public:
    virtual ~ITray() = default;
    virtual void Add(const QIcon& icon, const QString& tip) = 0;
    // A new icon and tooltip for the icon on show (or the next one added).
    virtual void Update(const QIcon& /*icon*/, const QString& /*tip*/) {}
    virtual void Remove() = 0;
    // Whether the icon is really on show: false where the desktop has no tray.
    virtual bool IsShown() const = 0;
    virtual void SetActions(TrayActions actions) = 0;
    // A desktop notification from the icon; clicking it does what a double-click
    // on the icon does. Nothing where the desktop shows no notifications.
    virtual void Notify(const QString& /*title*/, const QString& /*text*/) {}
};

} // namespace kivora::platform
