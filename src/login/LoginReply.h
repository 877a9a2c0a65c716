#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivora::login {

// The login reply: outcome, role and the customer site's web address.
struct LoginReply {
    std::string outcome;             // empty unless the reply had exactly three fields
    std::optional<bool> isAdmin;     // set only when the reply had exactly three fields
    std::string siteAddress;
};

LoginReply ParseLoginReply(std::string_view reply);

// What the operator is told for an outcome other than "true".
std::string RefusalText(std::string_view outcome, std::string_view serviceWebAddress);

} // namespace kivora::login
