#include "VisitorListModel.h"

#include "res/Images.h"
#include "ui/OutsideText.h"

#include <QColor>

#include <algorithm>
#include <string>

namespace kivora::console {

void CVisitorListModel::ReplaceRows(std::vector<CVisitorRecord> newRows)
{
    // Told to the views as rows removed or added and the span of rows that show
    // something new, not as a reset: a reset also rebuilds the headers and
    // repaints them, and painting the rows in sight again is most of what a
    // refresh costs the GUI thread, while most refreshes change few of them.
    const int oldCount = Count();
    const int newCount = static_cast<int>(newRows.size());
    const int common = std::min(oldCount, newCount);
    int firstChanged = 0;
    while (firstChanged < common && rows[static_cast<std::size_t>(firstChanged)].ShowsAs(
                                         newRows[static_cast<std::size_t>(firstChanged)]))
        ++firstChanged;
    int lastChanged = common - 1;
    while (lastChanged >= firstChanged &&
           rows[static_cast<std::size_t>(lastChanged)].ShowsAs(newRows[static_cast<std::size_t>(lastChanged)]))
        --lastChanged;
    if (newCount < oldCount) {
        beginRemoveRows(QModelIndex(), newCount, oldCount - 1);
        rows.swap(newRows);
        endRemoveRows();
    } else if (newCount > oldCount) {
        beginInsertRows(QModelIndex(), oldCount, newCount - 1);
        rows.swap(newRows);
        endInsertRows();
    } else {
        rows.swap(newRows);
    }
    if (firstChanged <= lastChanged)
        Q_EMIT dataChanged(index(firstChanged, 0), index(lastChanged, kColumnCount - 1));
}

void CVisitorListModel::SetStale(bool isStale)
{
    if (stale == isStale)
        return;
    stale = isStale;
    if (!rows.empty())
        Q_EMIT dataChanged(index(0, 0), index(Count() - 1, kColumnCount - 1), {Qt::ForegroundRole});
}

int CVisitorListModel::ImageIndex(const CVisitorRecord& record)
{
    if (record.IsChatRequest())
        return 0;
    if (record.Field(CVisitorRecord::kProactiveMarker) == "ppc")
        return 1;
    return 2;
}

QString CVisitorListModel::CellText(const CVisitorRecord& record, int column)
{
    // Every cell is the visitor's own data: plain text, a bounded prefix of it.
    switch (column) {
    case kColumnVisitor: {
        std::string visitor(record.Field(CVisitorRecord::kAddress).substr(0, 4 * ui::kFieldChars));
        visitor += " - (";
        visitor += record.Field(CVisitorRecord::kVisits).substr(0, 4 * ui::kFieldChars);
        visitor += ')';
        return ui::OutsideText(visitor);
    }
    case kColumnStatus:
        return ui::OutsideText(record.Field(CVisitorRecord::kStatus));
    case kColumnDuration:
        return ui::OutsideText(record.Field(CVisitorRecord::kDuration));
    case kColumnPage:
        return ui::OutsideText(record.Field(CVisitorRecord::kPage));
    default:
        return {};
    }
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
    switch (role) {
    case Qt::DisplayRole:
        return CellText(record, index.column());
    case Qt::ToolTipRole:
        // A tooltip takes a text that looks like markup for markup; a visitor's
        // page must never be read as such.
        return ui::AsLiteralRichText(CellText(record, index.column()));
    case Qt::ForegroundRole:
        if (stale)
            return kStaleColor;
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
