#include "app/team_list_model.h"

#include <vector>

#include "common/code_page.h"

namespace koravel::app {

namespace {

// A hostile page can make a cell megabytes long; measuring and drawing that freezes the
// window. The row keeps the whole text for the sort and the report.
constexpr std::size_t kShownCharacters = 1000;

QString FromCp1251(std::string_view bytes) {
    return QString::fromStdString(common::Cp1251ToUtf8(bytes));
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

void TeamListModel::headerClicked(int column, survey::SortState& state,
                                  std::string_view decimalSeparator) {
    const std::vector<std::size_t> order =
        survey::HeaderClickOrder(m_rows, state, column, decimalSeparator);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> movedTo(order.size());
    for (std::size_t to = 0; to < order.size(); ++to) movedTo[order[to]] = static_cast<int>(to);
    survey::ApplyOrder(m_rows, order);
    const QModelIndexList oldIndexes = persistentIndexList();
    QModelIndexList newIndexes;
    newIndexes.reserve(oldIndexes.size());
    for (const QModelIndex& index : oldIndexes)
        newIndexes.append(this->index(movedTo[index.row()], index.column()));
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
    // One Windows-1251 byte is one character.
    return FromCp1251(m_rows[static_cast<std::size_t>(index.row())]
                          .cell(index.column())
                          .substr(0, kShownCharacters));
}

QVariant TeamListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    if (section < 0 || section >= survey::kColumnCount) return {};
    return FromCp1251(survey::ColumnCaption(section));
}

}  // namespace koravel::app
