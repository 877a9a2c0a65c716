#include "ConnectionText.h"

namespace kivora::session {

QString ConnectionText(const CSession& session, const QDateTime& listUpdated)
{
    const QString time = QStringLiteral("HH:mm:ss");
    switch (session.State()) {
    case Connection::Connecting:
        return QStringLiteral("Connecting to the service...");
    case Connection::Trouble:
        return QStringLiteral("Connection lost since %1 - retrying (%2 failed)")
            .arg(session.TroubleSince().toString(time))
            .arg(session.Failures());
    case Connection::Ending:
        return QStringLiteral("Ending the session...");
    case Connection::Online:
        break;
    }
    if (!session.ChosenOnline())
        return QStringLiteral("Connected - off line by your choice");
    if (!listUpdated.isValid())
        return QStringLiteral("Connected - loading visitors...");
    return QStringLiteral("Connected - visitors updated at %1").arg(listUpdated.toString(time));
}

} // namespace kivora::session
