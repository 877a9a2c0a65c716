#include "VisitorRecord.h"

#include "net/RecordText.h"
#include "session/ServiceCalls.h"


namespace kivora::console {

namespace {

// Where each record slot is found among the fields of a list reply row.
constexpr std::array<int, CVisitorRecord::kSlotCount> kRowFieldOfSlot{
    net::kRowAddress,       net::kRowVisits,       net::kRowStatus,        net::kRowDuration,
    net::kRowPage,          net::kRowSession,      net::kRowDeleteAllowed, net::kRowBusyAllowed,
    net::kRowInviteAllowed, net::kRowProPopAllowed, net::kRowProactiveMarker,
};

} // namespace

const std::shared_ptr<const std::string>& CVisitorRecord::EmptyText()
{
    static const std::shared_ptr<const std::string> empty = std::make_shared<const std::string>();
    return empty;
}

CVisitorRecord::RowFields CVisitorRecord::FromRow(net::VisitorRow row)
{
    return RowFields{
        std::move(row[net::kRowAddress]),       std::move(row[net::kRowVisits]),
        std::move(row[net::kRowStatus]),        std::move(row[net::kRowDuration]),
        std::move(row[net::kRowPage]),          std::move(row[net::kRowSession]),
        std::move(row[net::kRowDeleteAllowed]), std::move(row[net::kRowBusyAllowed]),
        std::move(row[net::kRowInviteAllowed]), std::move(row[net::kRowProPopAllowed]),
        std::move(row[net::kRowProactiveMarker]),
    };
}

CVisitorRecord CVisitorRecord::FromListRow(const net::CVisitorRow& row)
{
    CVisitorRecord record(row.Text());
    for (int slot = 0; slot < kSlotCount; ++slot) {
        record.fieldStart[slot] = row.Start(kRowFieldOfSlot[slot]);
        record.fieldSize[slot] = row.Size(kRowFieldOfSlot[slot]);
    }
    constexpr int kLastField = net::kRowFieldCount - 1;
    record.rowStart = row.Start(0);
    record.rowSize = row.Start(kLastField) + row.Size(kLastField) - record.rowStart;
    record.NoteProactiveMarker();
    return record;
}

std::vector<CVisitorRecord> CVisitorRecord::ReadRows(std::string_view reply, std::size_t* rowsBlockSize)
{
    const std::vector<net::CVisitorRow> rows =
        net::ReadVisitorRows(std::make_shared<const std::string>(reply), rowsBlockSize);
    return FromListRows(rows);
}

std::vector<CVisitorRecord> CVisitorRecord::FromListRows(const std::vector<net::CVisitorRow>& rows)
{
    std::vector<CVisitorRecord> records;
    records.reserve(rows.size());
    for (const net::CVisitorRow& row : rows)
        records.push_back(FromListRow(row));
    return records;
}

void CVisitorRecord::SetRowFields(const RowFields& fields)
{
    auto joined = std::make_shared<std::string>();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        fieldStart[slot] = static_cast<std::uint32_t>(joined->size());
        fieldSize[slot] = static_cast<std::uint32_t>(fields[slot].size());
        joined->append(fields[slot]);
    }
    rowStart = 0;
    rowSize = static_cast<std::uint32_t>(joined->size());
    text = std::move(joined);
    NoteProactiveMarker();
}

CVisitorRecord::RowFields CVisitorRecord::GetRowFields() const
{
    RowFields fields;
    for (int slot = 0; slot < kSlotCount; ++slot)
        fields[slot] = std::string(Field(static_cast<Slot>(slot)));
    return fields;
}

void CVisitorRecord::NoteProactiveMarker()
{
    // Once sent an invitation, a visitor stays marked for the record's lifetime.
    if (Field(kProactiveMarker) == "ppc")
        proactive = true;
}

void CVisitorRecord::SetDetails(const net::VisitorDetails& newDetails)
{
    details = std::make_shared<const net::VisitorDetails>(newDetails);
}

const net::VisitorDetails& CVisitorRecord::GetDetails() const
{
    static const net::VisitorDetails kUnknown{};
    return details ? *details : kUnknown;
}

void CVisitorRecord::ApplyDetailsReply(std::string_view reply)
{
    if (const auto parsed = net::ParseDetailsReply(reply))
        SetDetails(*parsed);
}

bool CVisitorRecord::SendProactiveInvitation(session::CSession& session, bool sameWindow,
                                             const std::string& pageUrl) const
{
    session::SendProactive(session, GetSessionId(), sameWindow, pageUrl);
    return true;
}

void CVisitorRecord::SendVisitorAction(session::CSession& session, net::VisitorAction action) const
{
    session::SendVisitorAction(session, action, GetSessionId());
}

bool CVisitorRecord::ShowsAs(const CVisitorRecord& other) const
{
    // One comparison of the rows' text: the same text, the same fields. Rows put
    // together field by field have no separators and only ever match their like,
    // which at worst paints a row again.
    return proactive == other.proactive && std::string_view(*text).substr(rowStart, rowSize) ==
                                               std::string_view(*other.text).substr(other.rowStart, other.rowSize);
}

} // namespace kivora::console
