#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include "app/scan_worker.h"
#include "survey/team_list.h"
#include "survey/team_order.h"

namespace koravel::app {

// The team view's rows: owns the team list in display order and its sort, and keeps the
// view's selection on the same team across sorts.
class TeamListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    const survey::TeamList& rows() const { return m_rows; }
    // Numbers are read and compared in this separator's format.
    void setDecimalSeparator(std::string separator) { m_separator = std::move(separator); }

    void clear();
    // The outcomes' rows, at the end; a failed team's row shows its team id and why.
    void append(std::vector<TeamOutcome>&& outcomes);

    // Sorts by `column` and keeps the column and direction; column -1 only unsorts.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // A header click: every click flips the one direction, whatever the column; the first
    // one sorts ascending.
    void sortByClick(int column);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // The rows at `positions` (in that order) as tab-separated lines under the header
    // line, each cell as the command line prints it to a file: any control character is
    // a space.
    QString copyText(const QList<int>& positions) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    survey::TeamList m_rows;
    std::vector<QString> m_failures;  // per row: why its request failed, or empty
    std::string m_separator;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
};

}  // namespace koravel::app
