#include "ListLogic.h"

#include "net/Replies.h"
#include "session/Session.h"

namespace kivora::console {

ActionStates ActionsFor(const CVisitorRecord* selected, bool acceptUnderWay)
{
    ActionStates states;
    if (!selected)
        return states;
    const CVisitorRecord& row = *selected;
    states.remove = row.Field(CVisitorRecord::kDeleteAllowed) == "Delete";
    states.busy = row.Field(CVisitorRecord::kBusyAllowed) == "Busy";
    states.invite = row.Field(CVisitorRecord::kInviteAllowed) == "Invite";
    states.proactive = row.Field(CVisitorRecord::kProPopAllowed) == "Pro-Pop";
    states.accept = row.IsChatRequest() && !acceptUnderWay;
    states.details = true;
    return states;
}

bool TakePopup(const CVisitorRecord& row, bool consoleShownOrActive, session::SharedWindowState& state)
{
    if (!row.IsChatRequest() || consoleShownOrActive || state.popupShown ||
        state.lastPopupSession == row.Field(CVisitorRecord::kSession))
        return false;
    state.lastPopupSession = row.GetSessionId();
    state.popupShown = true;
    return true;
}

bool SoundsForNewVisitor(const std::vector<CVisitorRecord>& rows, bool soundOff)
{
    if (soundOff)
        return false;
    for (const CVisitorRecord& row : rows) {
        if (net::IsNewVisitorTime(row.Field(CVisitorRecord::kDuration)))
            return true;
    }
    return false;
}

NoticeAction ActionForNotice(std::string_view notice, const std::function<bool(const std::string&)>& alreadyTaken)
{
    NoticeAction action;
    const net::Notice parsed = net::ParseNotice(notice);
    switch (parsed.kind) {
    case net::Notice::Kind::Message:
        action.kind = NoticeAction::Kind::FetchMessages;
        break;
    case net::Notice::Kind::ChatTransfer:
        // A notice without a session names no chat to take.
        if (parsed.sessionId.empty())
            break;
        action.kind = NoticeAction::Kind::AcceptTransfer;
        action.sessionId = parsed.sessionId;
        // The service repeats the notice until the chat is taken; only the first
        // one is a new chat to sound for.
        action.transferSound = !alreadyTaken(parsed.sessionId);
        break;
    case net::Notice::Kind::None:
        break;
    }
    return action;
}

} // namespace kivora::console
