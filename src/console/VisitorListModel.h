#pragma once

#include "VisitorRecord.h"

#include <QAbstractTableModel>
#include <QColor>

#include <vector>

namespace kivora::console {

// The visitor list: the console's records, one row each, rebuilt wholly from every
// list reply. Texts and colours are made only for the rows the view shows.
class CVisitorListModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CVisitorListModel)
public:
    enum Column : int { kColumnVisitor, kColumnStatus, kColumnDuration, kColumnPage, kColumnCount };

    static inline const QColor kChatRequestColor{210, 0, 0};
    static inline const QColor kProactiveColor{0, 0, 210};
    static inline const QColor kStaleColor{128, 128, 128};

    using QAbstractTableModel::QAbstractTableModel;

    // The views keep no selection across a refresh from this alone: the console
    // clears it first and selects again by row number.
    void ReplaceRows(std::vector<CVisitorRecord> newRows);
    const std::vector<CVisitorRecord>& Rows() const { return rows; }
    CVisitorRecord& Row(int index) { return rows[static_cast<std::size_t>(index)]; }
    int Count() const { return static_cast<int>(rows.size()); }
    // Stale rows are the last ones known while no whole reply comes: drawn grey.
    void SetStale(bool isStale);
    bool IsStale() const { return stale; }

    // Image of a row: 0 for a chat request, else 1 for a proactive visitor, else 2
    // (one past the two images: no image).
    static int ImageIndex(const CVisitorRecord& record);
    // What a cell shows of the record.
    static QString CellText(const CVisitorRecord& record, int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<CVisitorRecord> rows;
    bool stale = false;
};

} // namespace kivora::console
