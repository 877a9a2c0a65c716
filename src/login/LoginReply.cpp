#include "LoginReply.h"

namespace kivora::login {

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
