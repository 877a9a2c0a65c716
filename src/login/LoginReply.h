#pragma once

// The login reply is read with the other replies; the words for a refusal are the
// login dialog's own.
#include "net/Replies.h"

#include <string>
#include <string_view>

namespace kivora::login {

using net::LoginReply;
using net::ParseLoginReply;

// What the operator is told for an outcome other than "true".
std::string RefusalText(std::string_view outcome, std::string_view serviceWebAddress);

} // namespace kivora::login
