#include "app/team_list_model.h"

#include <utility>

#include "app/qt_text.h"

namespace koravel::app {

namespace {

// A hostile page can make a cell megabytes long; measuring and drawing that freezes the
// window. The row keeps the whole text for the sort and the report.
constexpr std::size_t kShownCharacters = 1000;

// What the five number columns count, for tooltips and assistive tools.
const char* const kColumnMeanings[survey::kColumnCount] = {
    nullptr,
    "Игроки: значение «Players» со страницы школы",
    "РП: значение «CoSP» со страницы школы",
    "Игроков школы в возрасте 19 лет",
    "Игроков школы с талантом больше 1",
    "Наибольший талант в школе",
};

QString CopiedCell(std::string_view cell) {
    QString text = FromCp1251(cell);
    for (QChar& c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) c = u' ';
    return text;
}

}  // namespace

void TeamListModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_failures.clear();
    endResetModel();
}

void TeamListModel::append(std::vector<TeamOutcome>&& outcomes) {
    if (outcomes.empty()) return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(outcomes.size()) - 1);
    for (TeamOutcome& outcome : outcomes) {
        m_rows.push_back(std::move(outcome.row));
        m_failures.push_back(outcome.failure ? FromUtf8(*outcome.failure) : QString());
    }
    endInsertRows();
}

void TeamListModel::sortByClick(int column) {
    sort(column, m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TeamListModel::sort(int column, Qt::SortOrder order) {
    m_sortColumn = column;
    m_sortOrder = order;
    if (column < 0 || column >= survey::kColumnCount) return;
    const std::vector<std::size_t> positions = survey::SortedOrder(
        m_rows, column,
        order == Qt::AscendingOrder ? survey::SortOrder::Ascending : survey::SortOrder::Descending,
        m_separator);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> movedTo(positions.size());
    std::vector<QString> failures(positions.size());
    for (std::size_t to = 0; to < positions.size(); ++to) {
        movedTo[positions[to]] = static_cast<int>(to);
        failures[to] = std::move(m_failures[positions[to]]);
    }
    survey::ApplyOrder(m_rows, positions);
    m_failures = std::move(failures);
    const QModelIndexList oldIndexes = persistentIndexList();
    QModelIndexList newIndexes;
    newIndexes.reserve(oldIndexes.size());
    for (const QModelIndex& index : oldIndexes)
        newIndexes.append(this->index(movedTo[index.row()], index.column()));
    changePersistentIndexList(oldIndexes, newIndexes);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString TeamListModel::copyText(const QList<int>& positions) const {
    QStringList lines;
    QStringList cells;
    for (int column = 0; column < survey::kColumnCount; ++column)
        cells << FromCp1251(survey::ColumnCaption(column));
    lines << cells.join(u'\t');
    for (const int position : positions) {
        if (position < 0 || position >= rowCount()) continue;
        cells.clear();
        for (int column = 0; column < survey::kColumnCount; ++column)
            cells << CopiedCell(m_rows[static_cast<std::size_t>(position)].cell(column));
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n') + u'\n';
}

int TeamListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TeamListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : survey::kColumnCount;
}

QVariant TeamListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const QString& failure = m_failures[row];
    if (role == Qt::ToolTipRole && !failure.isEmpty())
        return QStringLiteral("Команда %1: %2").arg(m_rows[row].teamId).arg(failure);
    if (role != Qt::DisplayRole) return {};
    // The empty page of a failed request gives no name; its team id tells which it was.
    if (index.column() == 0 && !failure.isEmpty() && m_rows[row].name.empty())
        return QString::number(m_rows[row].teamId);
    // One Windows-1251 byte is one character.
    return FromCp1251(m_rows[row].cell(index.column()).substr(0, kShownCharacters));
}

QVariant TeamListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= survey::kColumnCount) return {};
    switch (role) {
        case Qt::DisplayRole:
            return FromCp1251(survey::ColumnCaption(section));
        case Qt::ToolTipRole:
        case Qt::AccessibleDescriptionRole:
            return kColumnMeanings[section] ? FromUtf8(kColumnMeanings[section]) : QVariant();
        default:
            return {};
    }
}

}  // namespace koravel::app
