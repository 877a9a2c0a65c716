#pragma once

#include "net/Replies.h"
#include "net/Requests.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kivora::session {
class CSession;
}

namespace kivora::console {

// One visitor of the console's list: the row's eleven fields in record order, the
// visitor's details once known, and whether the visitor was sent a proactive
// invitation. Issues the requests that concern one visitor.
//
// The fields are views into text shared by every record of one list reply: the
// list is rebuilt from every reply, and ten thousand rows of eleven strings each
// would cost more to make and free than the rest of a refresh together.
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

    CVisitorRecord() = default;
    // The records of the rows block of a list reply (the reply up to its first
    // "<blk>", or all of it), read in place: lines cut by "<ln>", fields by "<fld>",
    // in the order of net::RowField. Lines of other than eleven fields are skipped,
    // as net::ParseVisitorListReply skips them. rowsBlockSize, when given, gets the
    // length of the rows block.
    static std::vector<CVisitorRecord> ReadRows(std::string_view reply, std::size_t* rowsBlockSize = nullptr);
    // The record of a row of a parsed list reply, sharing its text.
    static CVisitorRecord FromListRow(const net::CVisitorRow& row);
    static std::vector<CVisitorRecord> FromListRows(const std::vector<net::CVisitorRow>& rows);

    void SetRowFields(const RowFields& fields);
    RowFields GetRowFields() const;
    std::string_view Field(Slot slot) const
    {
        return std::string_view(*text).substr(fieldStart[slot], fieldSize[slot]);
    }
    void SetDetails(const net::VisitorDetails& newDetails);
    // The details once known; all empty before.
    const net::VisitorDetails& GetDetails() const;
    // Stores a details reply of exactly eleven fields; anything else changes nothing.
    void ApplyDetailsReply(std::string_view reply);

    bool HasDetails() const { return details != nullptr; }
    // Whether the list shows this record exactly as it shows other: the same
    // fields, and the same invitation mark.
    bool ShowsAs(const CVisitorRecord& other) const;
    bool IsProactive() const { return proactive; }
    bool IsChatRequest() const { return Field(kStatus) == "Chat Request"; }
    std::string GetSessionId() const { return std::string(Field(kSession)); }
    std::string GetIpAddress() const { return std::string(Field(kAddress)); }

    bool SendProactiveInvitation(session::CSession& session, bool sameWindow, const std::string& pageUrl) const;
    void SendVisitorAction(session::CSession& session, net::VisitorAction action) const;

private:
    explicit CVisitorRecord(std::shared_ptr<const std::string> sharedText) : text(std::move(sharedText)) {}
    void NoteProactiveMarker();

    // The text the fields are cut from, and where each field lies in it.
    std::shared_ptr<const std::string> text = EmptyText();
    std::array<std::uint32_t, kSlotCount> fieldStart{};
    std::array<std::uint32_t, kSlotCount> fieldSize{};
    // The whole row in the text, all fields and what lies between them.
    std::uint32_t rowStart = 0;
    std::uint32_t rowSize = 0;
    // Null until the details are known; most visitors never have theirs asked for.
    std::shared_ptr<const net::VisitorDetails> details;
    bool proactive = false;

    static const std::shared_ptr<const std::string>& EmptyText();
};

} // namespace kivora::console
