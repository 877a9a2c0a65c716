#include "Accounts.h"

#include "Records.h"

#include <algorithm>
#include <cctype>

namespace kivora::demo {

namespace {

constexpr const char* kDemoSite = "site1";
constexpr const char* kDemoPassword = "secret";
constexpr const char* kDemoSiteAddress = "http://www.site1.example/";

} // namespace

CAccounts::CAccounts()
    : accounts_{
          {kDemoSite, "admin", kDemoPassword, AccountKind::Administrator, false},
          {kDemoSite, "anna", kDemoPassword, AccountKind::Operator, false},
          {kDemoSite, "ben", kDemoPassword, AccountKind::Operator, false},
          {kDemoSite, "dora", kDemoPassword, AccountKind::AlreadyLoggedIn, true},
          {kDemoSite, "eve", kDemoPassword, AccountKind::Deactivated, false},
      }
{
}

Account* CAccounts::Find(std::string_view site, std::string_view loginId)
{
    for (auto& account : accounts_) {
        if (account.site == site && account.loginId == loginId)
            return &account;
    }
    return nullptr;
}

Account* CAccounts::FindAnyCase(std::string_view site, std::string_view loginId)
{
    const auto sameLetters = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    for (auto& account : accounts_) {
        if (account.site == site && std::ranges::equal(account.loginId, loginId, sameLetters))
            return &account;
    }
    return nullptr;
}

bool CAccounts::Logout(std::string_view site, std::string_view loginId)
{
    Account* account = Find(site, loginId);
    if (account == nullptr)
        return false;
    // That account stays logged in elsewhere whatever a console sends for it.
    if (account->kind != AccountKind::AlreadyLoggedIn)
        account->online = false;
    return true;
}

bool CAccounts::Deactivate(std::string_view loginId)
{
    bool found = false;
    for (auto& account : accounts_) {
        if (account.loginId == loginId) {
            account.kind = AccountKind::Deactivated;
            account.online = false;
            found = true;
        }
    }
    return found;
}

bool CAccounts::ExpirePresence(std::string_view loginId)
{
    bool found = false;
    for (auto& account : accounts_) {
        if (account.loginId == loginId) {
            account.online = false;
            found = true;
        }
    }
    return found;
}

LoginOutcome CAccounts::Login(std::string_view site, std::string_view loginId, std::string_view password)
{
    Account* account = Find(site, loginId);
    if (account == nullptr)
        return {"false", "", ""};
    if (account->password != password)
        return {"incorrect", "", ""};
    switch (account->kind) {
    case AccountKind::Administrator:
        account->online = true;
        return {"true", "ADM", kDemoSiteAddress};
    case AccountKind::Operator:
        account->online = true;
        return {"true", "OPR", kDemoSiteAddress};
    case AccountKind::AlreadyLoggedIn:
        return {"already", "OPR", ""};
    case AccountKind::Deactivated:
        return {"expired", "", ""};
    }
    return {"false", "", ""};
}

std::string FormatLoginReply(const LoginOutcome& outcome)
{
    return JoinFields({outcome.outcome, outcome.role, outcome.siteAddress});
}

const char* KindName(AccountKind kind)
{
    switch (kind) {
    case AccountKind::Administrator:
        return "administrator";
    case AccountKind::Operator:
        return "operator";
    case AccountKind::AlreadyLoggedIn:
        return "already-logged-in";
    case AccountKind::Deactivated:
        return "deactivated";
    }
    return "?";
}

} // namespace kivora::demo
