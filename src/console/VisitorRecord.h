#pragma once

#include "net/Replies.h"

#include <array>
#include <string>
#include <string_view>

namespace kivora::net {
class CServerLink;
}

namespace kivora::console {

// One visitor of the console's list: the row's eleven fields in record order, the
// visitor's details once known, and whether the visitor was sent a proactive
// invitation. Issues the requests that concern one visitor.
class CVisitorRecord final {
public:
    // Record order of the row fields.
    enum Slot : int {
        kAddress,
        kVisits,
        kStatus,
        kDuration,
        kPage,
        kSession,
        kDeleteAllowed,
        kBusyAllowed,
        kInviteAllowed,
        kProPopAllowed,
        kProactiveMarker,
        kSlotCount
    };
    using RowFields = std::array<std::string, kSlotCount>;

    // The row of the list reply in record order.
    static RowFields FromRow(net::VisitorRow row);

    void SetRowFields(RowFields fields);
    const RowFields& GetRowFields() const { return rowFields; }
    void SetDetails(const net::VisitorDetails& newDetails);
    // The details; the first call for a visitor whose details are not known asks
    // the service and waits for the answer.
    const net::VisitorDetails& GetDetails(net::CServerLink& link);
    // Stores a details reply of exactly eleven fields; anything else changes nothing.
    void ApplyDetailsReply(std::string_view reply);

    bool HasDetails() const { return detailsLoaded; }
    bool IsProactive() const { return proactive; }
    bool IsChatRequest() const { return rowFields[kStatus] == "Chat Request"; }
    const std::string& GetSessionId() const { return rowFields[kSession]; }
    const std::string& GetIpAddress() const { return rowFields[kAddress]; }

    bool SendProactiveInvitation(net::CServerLink& link, bool sameWindow, const std::string& pageUrl) const;
    void SendVisitorAction(net::CServerLink& link, const std::string& word) const;

private:
    RowFields rowFields;
    net::VisitorDetails details;
    bool detailsLoaded = false;
    bool proactive = false;
};

} // namespace kivora::console
