#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kivora::net {

// The service's 8-bit text for the screen: decoded in the local 8-bit encoding, or
// byte for byte as Latin-1 when it is not valid there, never as replacement marks.
QString FromServerText(std::string_view text);

// Typed text for the service, in the local 8-bit encoding.
std::string ToServerText(const QString& text);

} // namespace kivora::net
