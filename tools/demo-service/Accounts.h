#pragma once

// The demo operator accounts and what a login attempt with each of them answers.

#include <string>
#include <string_view>
#include <vector>

namespace kivora::demo {

enum class AccountKind {
    Administrator,
    Operator,
    AlreadyLoggedIn, // logged in somewhere else for good, so every login meets "already"
    Deactivated,
};

struct Account {
    std::string site;
    std::string loginId;
    std::string password;
    AccountKind kind = AccountKind::Operator;
    bool online = false; // set by a successful login and by presence requests
};

struct LoginOutcome {
    std::string outcome; // true, false, incorrect, already, or a deactivation word
    std::string role;    // ADM, OPR or empty
    std::string siteAddress;
};

class CAccounts final {
public:
    // The fixed demo set: admin, anna, ben, dora and eve on site1, password "secret".
    CAccounts();

    // Checks the password before the account's kind, so a wrong password on any known
    // account answers "incorrect". A repeated login succeeds again: the demo must be
    // restartable without resetting it.
    LoginOutcome Login(std::string_view site, std::string_view loginId, std::string_view password);

    const std::vector<Account>& All() const { return accounts_; }
    Account* Find(std::string_view site, std::string_view loginId);
    // The same with the login id compared without regard to case, for ids an operator
    // typed or picked from a list.
    Account* FindAnyCase(std::string_view site, std::string_view loginId);
    // Takes the account off line; its next login succeeds as any other. False when there
    // is no such account.
    bool Logout(std::string_view site, std::string_view loginId);
    // Deactivates every account with that login id and takes it off line, so that its
    // visitor list answers "logout" and its logins are refused. False when there is none.
    bool Deactivate(std::string_view loginId);
    // Takes every account with that login id off line, as a presence that timed out;
    // its next go-online request or login brings it back. False when there is none.
    bool ExpirePresence(std::string_view loginId);

private:
    std::vector<Account> accounts_;
};

// OUTCOME<fld>ROLE<fld>SITEADDRESS
std::string FormatLoginReply(const LoginOutcome& outcome);

const char* KindName(AccountKind kind);

} // namespace kivora::demo
