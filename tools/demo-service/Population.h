#pragma once

// Small built-in tables the autopilot draws its visitors from: addresses in the
// documentation ranges, browsers, systems, places, referrers, pages and names.

#include "Visitors.h"

#include <random>
#include <string>

namespace kivora::demo {

using Random = std::mt19937;

// A dotted address in 192.0.2.0/24, 198.51.100.0/24 or 203.0.113.0/24.
std::string RandomAddress(Random& random);
// Browser, system, screen, place with its language and time offset, and referrer.
VisitorProfile RandomProfile(Random& random);
// A path on the demo site, e.g. "/products/widgets.html".
std::string RandomPage(Random& random);
// A page different from `current`, for a visitor moving on.
std::string NextPage(Random& random, const std::string& current);
// A visitor's name and a matching e-mail address.
void RandomContact(Random& random, std::string& name, std::string& email);

// Uniform whole number in [low, high].
int Between(Random& random, int low, int high);
// True with the given probability.
bool Chance(Random& random, double probability);

} // namespace kivora::demo
