#pragma once

// The canned lists reply is read in the protocol layer with the other replies.
#include "net/Replies.h"

namespace kivora::chat {

using net::CannedEntry;
using net::CannedLists;
using net::ParseCannedLists;

} // namespace kivora::chat
