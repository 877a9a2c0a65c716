#include "LoginReply.h"

#include "net/RecordText.h"

namespace kivora::login {

LoginReply ParseLoginReply(std::string_view reply)
{
    LoginReply result;
    const auto fields = net::SplitRecordViews(reply, net::kFieldSep);
    if (fields.size() != 3)
        return result;
    result.outcome = std::string(fields[0]);
    result.isAdmin = fields[1] == "ADM";
    result.siteAddress = std::string(fields[2]);
    return result;
}

std::string RefusalText(std::string_view outcome, std::string_view serviceWebAddress)
{
    if (outcome == "false")
        return "Login Failure";
    if (outcome == "incorrect")
        return "Incorrect Password";
    if (outcome == "already")
        return "User is already logged in.";
    return "Account has been deactivated. Please contact " + std::string(serviceWebAddress);
}

} // namespace kivora::login
