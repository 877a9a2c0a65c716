#include "VisitorRecord.h"

#include "net/Endpoints.h"
#include "net/ServerLink.h"
#include "res/Strings.h"

namespace kivora::console {

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

void CVisitorRecord::SetRowFields(RowFields fields)
{
    rowFields = std::move(fields);
    if (rowFields[kProactiveMarker] == "ppc")
        proactive = true;
}

void CVisitorRecord::SetDetails(const net::VisitorDetails& newDetails)
{
    details = newDetails;
    detailsLoaded = true;
}

const net::VisitorDetails& CVisitorRecord::GetDetails(net::CServerLink& link)
{
    if (!detailsLoaded) {
        std::string reply;
        if (link.PerformRequest(net::MakeUrl(res::IDS_URL_DETAILS, {GetSessionId()}), reply))
            ApplyDetailsReply(reply);
    }
    return details;
}

void CVisitorRecord::ApplyDetailsReply(std::string_view reply)
{
    if (const auto parsed = net::ParseDetailsReply(reply))
        SetDetails(*parsed);
}

bool CVisitorRecord::SendProactiveInvitation(net::CServerLink& link, bool sameWindow,
                                             const std::string& pageUrl) const
{
    link.StartRequest(net::MakeUrl(res::IDS_URL_PROACTIVE, {GetSessionId(), sameWindow ? "R" : "N", pageUrl}),
                      net::kKindProactive, nullptr);
    return true;
}

void CVisitorRecord::SendVisitorAction(net::CServerLink& link, const std::string& word) const
{
    link.StartRequest(
        net::MakeUrl(res::IDS_URL_ACTION, {word, GetSessionId(), link.GetSiteId(), link.GetLoginId()}),
        net::kKindVisitorAction, nullptr);
}

} // namespace kivora::console
