#pragma once

// What the visitor list decides, apart from any widget: which actions the selected
// visitor allows, when a chat request raises the pop-up, when a refresh sounds for
// new visitors, and what a notice asks of the console.

#include "VisitorRecord.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kivora::session {
struct SharedWindowState;
}

namespace kivora::console {

struct ActionStates {
    bool remove = false;
    bool busy = false;
    bool invite = false;
    bool proactive = false;
    bool accept = false;
    bool details = false;
};

// The service says per row what may be done; Accept also waits for an accept of
// that visitor under way. Nothing is allowed without a selected row.
ActionStates ActionsFor(const CVisitorRecord* selected, bool acceptUnderWay);

// Whether a row raises the chat-request pop-up: a chat request while the console
// is neither shown nor active, no pop-up up, and not the visitor of the last one.
// When it does, the state remembers it.
bool TakePopup(const CVisitorRecord& row, bool consoleShownOrActive, session::SharedWindowState& state);

// Whether a refresh sounds for a new visitor: once, however many are new, unless
// Sound Off is ticked.
bool SoundsForNewVisitor(const std::vector<CVisitorRecord>& rows, bool soundOff);

// What a notice of the list reply asks of the console.
struct NoticeAction {
    enum class Kind { None, FetchMessages, AcceptTransfer } kind = Kind::None;
    std::string sessionId;   // of the transferred chat
    bool transferSound = false; // a chat not yet open nor asked for
};
// alreadyTaken tells whether a chat has its window or an accept under way.
NoticeAction ActionForNotice(std::string_view notice, const std::function<bool(const std::string&)>& alreadyTaken);

} // namespace kivora::console
