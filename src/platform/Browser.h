#pragma once

#include <QString>

namespace kivora::platform {

// Opens things in the desktop's browser or mail program. Called on the GUI thread.
class IBrowser {
public:
    virtual ~IBrowser() = default;
    // What the desktop's "open" does with target: a web address, a host name or a
    // "mailto:" address. Returns false when nothing could open it.
    virtual bool OpenUrl(const QString& target) = 0;
    // A page of the service, given as host, path and query without a scheme.
    virtual bool OpenServicePage(const QString& hostAndPath) = 0;
};

} // namespace kivora::platform
