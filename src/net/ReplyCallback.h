#pragma once

#include "ServerLink.h"

#include <QObject>

#include <functional>
#include <string>
#include <utility>

namespace kivora::net {

// The target of one request whose reply must be handled knowing what was asked.
// It runs its function on the reply, told whether the exchange worked, and then
// goes. Its parent is the object the request is for, so it goes with that object,
// and a reply still on its way then reaches nobody.
class CReplyCallback final : public QObject, public IReplyTarget {
public:
    using Handler = std::function<void(const std::string& text, bool ok)>;

    CReplyCallback(QObject* context, Handler handler) : QObject(context), handler(std::move(handler)) {}

    void OnServerReply(int kind, const std::string& text) override { OnServerOutcome(kind, text, true); }
    void OnServerOutcome(int, const std::string& text, bool ok) override
    {
        Handler run = std::move(handler);
        deleteLater();
        if (run)
            run(text, ok);
    }

private:
    Handler handler;
};

} // namespace kivora::net
