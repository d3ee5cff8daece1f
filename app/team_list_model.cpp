#include "app/team_list_model.h"

#include <vector>

#include "common/code_page.h"

namespace koravel::app {

namespace {

QString FromCp1251(std::string_view bytes) {
    return QString::fromStdString(common::Cp1251ToUtf8(bytes));
}

bool SameRow(const survey::TeamRow& a, const survey::TeamRow& b) {
    return a.teamId == b.teamId && a.caption == b.caption && a.subItems == b.subItems;
}

}  // namespace

void TeamListModel::clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void TeamListModel::append(survey::TeamList&& rows) {
    if (rows.empty()) return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    for (auto& row : rows) m_rows.push_back(std::move(row));
    endInsertRows();
}

void TeamListModel::columnClick(int column, survey::SortState& state,
                                std::string_view decimalSeparator) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const survey::TeamList before = m_rows;
    survey::ListView1ColumnClick(m_rows, state, column, decimalSeparator);

    // The sort is stable, so the n-th of several identical rows stays the n-th: matching
    // each old row to the first unclaimed equal row finds where it went.
    std::vector<int> moved(before.size(), 0);
    std::vector<bool> claimed(m_rows.size(), false);
    for (std::size_t from = 0; from < before.size(); ++from) {
        for (std::size_t to = 0; to < m_rows.size(); ++to) {
            if (!claimed[to] && SameRow(before[from], m_rows[to])) {
                claimed[to] = true;
                moved[from] = static_cast<int>(to);
                break;
            }
        }
    }
    const QModelIndexList oldIndexes = persistentIndexList();
    QModelIndexList newIndexes;
    for (const QModelIndex& index : oldIndexes)
        newIndexes.append(this->index(moved[index.row()], index.column()));
    changePersistentIndexList(oldIndexes, newIndexes);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TeamListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TeamListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : survey::kColumnCount;
}

QVariant TeamListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return FromCp1251(m_rows[index.row()].cell(index.column()));
}

QVariant TeamListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    if (section < 0 || section >= survey::kColumnCount) return {};
    return FromCp1251(survey::ColumnCaption(section));
}

}  // namespace koravel::app
