#pragma once

#include "Session.h"

#include <QDateTime>
#include <QString>

namespace kivora::session {

// What the console's connection line (and its tray icon's tooltip) says: connected
// and when the visitor list was last updated, the connection lost since when and
// how many exchanges failed, or off line by the operator's choice.
QString ConnectionText(const CSession& session, const QDateTime& listUpdated);

} // namespace kivora::session
