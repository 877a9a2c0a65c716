#pragma once

#include <QString>

namespace kivora::platform {

// Opens things in the desktop's browser or mail program. Called on the GUI thread.
class IBrowser {
public:
    virtual ~IBrowser() = default;
    // What the desktop's "open" does with target: a web address, a host name or a
    // "mailto:" address; nothing else is ever opened. Returns false when nothing
    // could open it.
    virtual bool OpenUrl(const QString& target) = 0;
    // A page of the service, as a whole http or https address.
    virtual bool OpenServicePage(const QString& url) = 0;
};

} // namespace kivora::platform
