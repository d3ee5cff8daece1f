#pragma once

#include <string_view>

#include <QAbstractTableModel>

#include "survey/team_list.h"
#include "survey/team_order.h"

namespace koravel::app {

// The team view's rows: owns the team list in display order and keeps the view's
// selection on the same team across sorts.
class TeamListModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    const survey::TeamList& rows() const { return m_rows; }

    void clear();
    void append(survey::TeamList&& rows);
    // A header click: sort state and order as the list's rules say.
    void headerClicked(int column, survey::SortState& state, std::string_view decimalSeparator);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    survey::TeamList m_rows;
};

}  // namespace koravel::app
