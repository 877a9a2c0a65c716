#include "VisitorListModel.h"

#include "net/Text.h"
#include "res/Images.h"

#include <QColor>

namespace kivora::console {

void CVisitorListModel::ReplaceRows(std::vector<CVisitorRecord> newRows)
{
    beginResetModel();
    rows = std::move(newRows);
    endResetModel();
}

int CVisitorListModel::ImageIndex(const CVisitorRecord& record)
{
    if (record.IsChatRequest())
        return 0;
    if (record.GetRowFields()[CVisitorRecord::kProactiveMarker] == "ppc")
        return 1;
    return 2;
}

int CVisitorListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int CVisitorListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CVisitorListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    const CVisitorRecord& record = rows[static_cast<std::size_t>(index.row())];
    const auto& f = record.GetRowFields();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case kColumnVisitor:
            return net::FromServerText(f[CVisitorRecord::kAddress] + " - (" + f[CVisitorRecord::kVisits] + ")");
        case kColumnStatus:
            return net::FromServerText(f[CVisitorRecord::kStatus]);
        case kColumnDuration:
            return net::FromServerText(f[CVisitorRecord::kDuration]);
        case kColumnPage:
            return net::FromServerText(f[CVisitorRecord::kPage]);
        default:
            return {};
        }
    case Qt::ForegroundRole:
        if (index.column() == kColumnStatus && record.IsChatRequest())
            return kChatRequestColor;
        return record.IsProactive() ? kProactiveColor : QColor(Qt::black);
    case Qt::DecorationRole:
        if (index.column() == kColumnVisitor) {
            const QPixmap image = res::RowImage(ImageIndex(record));
            if (!image.isNull())
                return image;
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant CVisitorListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case kColumnVisitor:
        return QStringLiteral("Vistor  (P.Visits)");
    case kColumnStatus:
        return QStringLiteral("Status");
    case kColumnDuration:
        return QStringLiteral("Duration");
    case kColumnPage:
        return QStringLiteral("Page");
    default:
        return {};
    }
}

} // namespace kivora::console
