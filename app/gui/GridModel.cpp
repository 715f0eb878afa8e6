#include "GridModel.h"

#include <QApplication>
#include <QCollator>
#include <QColor>
#include <QLocale>
#include <QPalette>

#include <algorithm>
#include <numeric>
#include <utility>

namespace levora {

GridModel::GridModel(int fixedCols, std::vector<bool> checkCols, QObject* parent)
    : QAbstractTableModel(parent), m_cols(static_cast<int>(checkCols.size())), m_fixedCols(fixedCols),
      m_checkCols(std::move(checkCols)), m_header(m_checkCols.size()), m_numericCols(m_checkCols.size()) {}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_cols;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(index.row(), index.column());
    case Qt::CheckStateRole: {
        const int c = check(index.row(), index.column());
        if (c < 0)
            return {};
        return c ? Qt::Checked : Qt::Unchecked;
    }
    case Qt::BackgroundRole:
        if (index.column() < m_fixedCols)
            return QApplication::palette().button();
        if (marked(index.row(), index.column()))
            return QColor(0xFF, 0xC8, 0x57); // amber: lighter than the text, darker than the page
        return {};
    case Qt::ForegroundRole:
        if (marked(index.row(), index.column()))
            return QColor(Qt::black);
        return {};
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole: {
        const QString& tip = cell(index.row(), index.column()).tip;
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    default:
        return {};
    }
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid())
        return false;
    if (role == Qt::EditRole) {
        setText(index.row(), index.column(), value.toString());
        return true;
    }
    if (role == Qt::CheckStateRole && m_checkCols[static_cast<size_t>(index.column())]) {
        setCheck(index.row(), index.column(), value.value<Qt::CheckState>() == Qt::Checked);
        return true;
    }
    return false;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_cols)
        return header(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() < m_fixedCols)
        return Qt::ItemIsEnabled;
    // Check cells are toggled by the grid itself, after its before-edit notification (GridControl
    // keeps every edit away from the delegate); the flag tells assistive technology they are boxes.
    if (m_checkCols[static_cast<size_t>(index.column())])
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void GridModel::setDataRows(int rows) {
    rows = std::max(rows, 0);
    if (rows == m_rows)
        return;
    const bool notify = !m_resetting;
    if (notify) {
        if (rows > m_rows)
            beginInsertRows({}, m_rows, rows - 1);
        else
            beginRemoveRows({}, rows, m_rows - 1);
    }
    const bool grow = rows > m_rows;
    for (int r = rows; r < m_rows; ++r)
        m_rowOfKey[static_cast<size_t>(m_data[static_cast<size_t>(r)].key)] = -1;
    m_data.resize(static_cast<size_t>(rows));
    for (int r = m_rows; r < rows; ++r) {
        Row& row = m_data[static_cast<size_t>(r)];
        row.key = static_cast<int>(m_rowOfKey.size());
        m_rowOfKey.push_back(r);
        row.cells.resize(static_cast<size_t>(m_cols));
        for (int c = 0; c < m_cols; ++c)
            row.cells[static_cast<size_t>(c)].check = m_checkCols[static_cast<size_t>(c)] ? 0 : -1;
    }
    m_rows = rows;
    if (notify) {
        if (grow)
            endInsertRows();
        else
            endRemoveRows();
    }
}

void GridModel::changed(int row, int col, int role) {
    if (m_resetting)
        return;
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i, {role});
}

void GridModel::setText(int row, int col, const QString& text) {
    cell(row, col).text = text;
    changed(row, col, Qt::DisplayRole);
}

void GridModel::setCheck(int row, int col, bool checked) {
    cell(row, col).check = checked ? 1 : 0;
    changed(row, col, Qt::CheckStateRole);
}

void GridModel::setToolTip(int row, int col, const QString& tip) {
    cell(row, col).tip = tip;
}

void GridModel::setMarked(int row, int col, bool marked) {
    if (this->marked(row, col) == marked)
        return;
    cell(row, col).mark = marked;
    changed(row, col, Qt::BackgroundRole);
}

int GridModel::rowOfKey(int key) const {
    return key >= 0 && static_cast<size_t>(key) < m_rowOfKey.size() ? m_rowOfKey[static_cast<size_t>(key)] : -1;
}

void GridModel::setHeader(int col, const QString& text) {
    m_header[static_cast<size_t>(col)] = text;
    if (!m_resetting)
        emit headerDataChanged(Qt::Horizontal, col, col);
}

void GridModel::setRedraw(bool on) {
    if (on == !m_resetting)
        return;
    if (on) {
        m_resetting = false;
        endResetModel();
    } else {
        beginResetModel();
        m_resetting = true;
    }
}

void GridModel::sortRows(int col, Qt::SortOrder order) {
    if (col < 0 || col >= m_cols || m_rows < 2)
        return;
    std::vector<int> perm(static_cast<size_t>(m_rows));
    std::iota(perm.begin(), perm.end(), 0);

    if (m_numericCols[static_cast<size_t>(col)]) {
        std::vector<double> values(static_cast<size_t>(m_rows));
        std::vector<bool> numbers(static_cast<size_t>(m_rows));
        for (int r = 0; r < m_rows; ++r) {
            bool ok = false;
            values[static_cast<size_t>(r)] = text(r, col).toDouble(&ok);
            numbers[static_cast<size_t>(r)] = ok;
        }
        std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) {
            const auto i = static_cast<size_t>(a), j = static_cast<size_t>(b);
            if (numbers[i] != numbers[j])
                return static_cast<bool>(numbers[i]);
            if (!numbers[i])
                return false;
            return order == Qt::AscendingOrder ? values[i] < values[j] : values[i] > values[j];
        });
    } else if (m_checkCols[static_cast<size_t>(col)]) {
        std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) {
            return order == Qt::AscendingOrder ? check(a, col) < check(b, col) : check(a, col) > check(b, col);
        });
    } else {
        // The user's locale; the C locale has no order for names, so it sorts as English does
        // (never by code points: "B10" would come before "a").
        QLocale locale;
        if (locale.language() == QLocale::C)
            locale = QLocale(QLocale::English, QLocale::UnitedStates);
        QCollator collator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(true);
        std::vector<QCollatorSortKey> keys;
        keys.reserve(static_cast<size_t>(m_rows));
        for (int r = 0; r < m_rows; ++r)
            keys.push_back(collator.sortKey(text(r, col)));
        std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) {
            const int c = keys[static_cast<size_t>(a)].compare(keys[static_cast<size_t>(b)]);
            return order == Qt::AscendingOrder ? c < 0 : c > 0;
        });
    }

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<Row> sorted(m_data.size());
    std::vector<int> newRowOf(perm.size());
    for (int to = 0; to < m_rows; ++to) {
        const int from = perm[static_cast<size_t>(to)];
        newRowOf[static_cast<size_t>(from)] = to;
        sorted[static_cast<size_t>(to)] = std::move(m_data[static_cast<size_t>(from)]);
        m_rowOfKey[static_cast<size_t>(sorted[static_cast<size_t>(to)].key)] = to;
    }
    m_data = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.push_back(index(newRowOf[static_cast<size_t>(i.row())], i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace levora
