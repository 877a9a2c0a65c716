#include "Population.h"

#include <array>
#include <cctype>

namespace kivora::demo {

namespace {

struct Place {
    const char* country;
    const char* region;
    const char* city;
    const char* language;
    int utcOffsetMinutes;
};

constexpr const char* kAddressBlocks[] = {"192.0.2.", "198.51.100.", "203.0.113."};

constexpr const char* kBrowsers[] = {
    "Firefox 115.0", "Chrome 120.0", "Edge 120.0", "Safari 17.1", "Opera 105.0", "Firefox 121.0", "Chrome 119.0",
};

constexpr const char* kSystems[] = {
    "Windows 10", "Windows 11", "Mac OS X 10.15", "Linux x86_64", "Android 13", "iOS 17.1", "Windows 8.1",
};

constexpr const char* kColours[] = {"24 bit", "32 bit", "24 bit", "16 bit"};

constexpr Place kPlaces[] = {
    {"United Kingdom", "England", "London", "en-GB", 0},
    {"United Kingdom", "Scotland", "Glasgow", "en-GB", 0},
    {"Ireland", "Leinster", "Dublin", "en-IE", 0},
    {"Germany", "Bavaria", "Munich", "de-DE", 60},
    {"France", "Ile-de-France", "Paris", "fr-FR", 60},
    {"Spain", "Catalonia", "Barcelona", "es-ES", 60},
    {"Netherlands", "North Holland", "Amsterdam", "nl-NL", 60},
    {"Finland", "Uusimaa", "Helsinki", "fi-FI", 120},
    {"India", "Maharashtra", "Mumbai", "en-IN", 330},
    {"Japan", "Tokyo", "Tokyo", "ja-JP", 540},
    {"Australia", "New South Wales", "Sydney", "en-AU", 600},
    {"United States", "New York", "New York", "en-US", -300},
    {"United States", "Illinois", "Chicago", "en-US", -360},
    {"United States", "California", "San Francisco", "en-US", -480},
    {"Canada", "Quebec", "Montreal", "fr-CA", -300},
    {"Brazil", "Sao Paulo", "Sao Paulo", "pt-BR", -180},
};

// Empty entries stand for visitors who typed the address or came from a bookmark.
constexpr const char* kReferrers[] = {
    "",
    "",
    "http://search.example.com/results?q=widgets",
    "http://search.example.net/?query=gadget+repair",
    "http://www.news.example.org/reviews/widgets-2024.html",
    "http://forum.example.com/thread/8812",
    "http://www.site1.example/",
};

constexpr const char* kPages[] = {
    "/",
    "/index.html",
    "/products/widgets.html",
    "/products/gadgets.html",
    "/products/gizmos.html",
    "/products/widgets/deluxe.html",
    "/pricing.html",
    "/support/faq.html",
    "/support/returns.html",
    "/contact.html",
    "/about.html",
    "/cart/checkout.html",
    "/blog/new-season.html",
};

constexpr const char* kFirstNames[] = {
    "Alice", "Bruno", "Chen", "Dana", "Emil", "Farah", "Greta", "Hugo", "Ines", "Jonas", "Keiko", "Liam",
    "Maya", "Nils", "Olga", "Pavel", "Rosa", "Sami", "Tara", "Umar",
};

constexpr const char* kSurnames[] = {
    "Adams", "Berger", "Costa", "Dubois", "Evans", "Fischer", "Garcia", "Hansen", "Ito", "Jansen",
};

template <typename T, std::size_t N>
const T& Pick(Random& random, const T (&table)[N])
{
    return table[static_cast<std::size_t>(Between(random, 0, static_cast<int>(N) - 1))];
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

int Between(Random& random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

bool Chance(Random& random, double probability)
{
    return std::bernoulli_distribution(probability)(random);
}

std::string RandomAddress(Random& random)
{
    return Pick(random, kAddressBlocks) + std::to_string(Between(random, 1, 254));
}

VisitorProfile RandomProfile(Random& random)
{
    const Place& place = Pick(random, kPlaces);
    VisitorProfile profile;
    profile.browser = Pick(random, kBrowsers);
    profile.os = Pick(random, kSystems);
    profile.referrer = Pick(random, kReferrers);
    profile.colours = Pick(random, kColours);
    profile.java = Chance(random, 0.3) ? "Yes" : "No";
    profile.utcOffsetMinutes = place.utcOffsetMinutes;
    profile.language = place.language;
    profile.country = place.country;
    profile.region = place.region;
    profile.city = place.city;
    return profile;
}

std::string RandomPage(Random& random)
{
    return Pick(random, kPages);
}

std::string NextPage(Random& random, const std::string& current)
{
    // Bounded: with thirteen pages a repeat twice over is rare, and a repeat is harmless.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string page = RandomPage(random);
        if (page != current)
            return page;
    }
    return current;
}

void RandomContact(Random& random, std::string& name, std::string& email)
{
    const std::string first = Pick(random, kFirstNames);
    const std::string last = Pick(random, kSurnames);
    name = first + ' ' + last;
    email = Lower(first) + '.' + Lower(last) + "@mail.example.com";
}

} // namespace kivora::demo
