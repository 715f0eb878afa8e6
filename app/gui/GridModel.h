// The cells of myGrid: text and an optional check box per cell, one record per row that moves as a
// whole when the rows are sorted, so that tens of thousands of rows append and sort quickly. Model rows are the grid's
// data rows (grid row 1 is model row 0); the header row is the horizontal header.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <vector>

namespace levora {

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // checkCols: the columns whose cells are check boxes.
    GridModel(int fixedCols, std::vector<bool> checkCols, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setDataRows(int rows);
    const QString& text(int row, int col) const { return cell(row, col).text; }
    void setText(int row, int col, const QString& text);
    // -1: no check box; 0 unchecked; 1 checked.
    int check(int row, int col) const { return cell(row, col).check; }
    void setCheck(int row, int col, bool checked);
    const QString& header(int col) const { return m_header[static_cast<size_t>(col)]; }
    void setHeader(int col, const QString& text);

    // Off: cells change without notifying the views; on again: the views reload once.
    void setRedraw(bool on);
    bool redraw() const { return !m_resetting; }

    // A cell's tooltip, and a mark that sets it apart (a background that also reads apart in grey).
    void setToolTip(int row, int col, const QString& tip);
    void setMarked(int row, int col, bool marked);
    bool marked(int row, int col) const { return cell(row, col).mark; }

    // A key per data row that moves with its row when the rows are sorted (rows get the next key
    // as they are appended); -1 for a key whose row is gone.
    int rowKey(int row) const { return m_data[static_cast<size_t>(row)].key; }
    int rowOfKey(int key) const;
    int keyCount() const { return static_cast<int>(m_rowOfKey.size()); }

    // Columns whose cells hold numbers sort by value, cells without one after all numbers.
    void setNumericColumn(int col) { m_numericCols[static_cast<size_t>(col)] = true; }
    // Stable sort of the data rows by one column (names in the locale's order).
    void sortRows(int col, Qt::SortOrder order);

private:
    struct Cell {
        QString text;
        QString tip;
        int8_t check = -1; // -1: no check box; 0 unchecked; 1 checked
        bool mark = false;
    };
    struct Row {
        int key = -1;
        std::vector<Cell> cells;
    };
    const Cell& cell(int row, int col) const {
        return m_data[static_cast<size_t>(row)].cells[static_cast<size_t>(col)];
    }
    Cell& cell(int row, int col) { return m_data[static_cast<size_t>(row)].cells[static_cast<size_t>(col)]; }
    void changed(int row, int col, int role);

    int m_cols;
    int m_fixedCols;
    std::vector<bool> m_checkCols;
    int m_rows = 0;
    std::vector<Row> m_data;
    std::vector<QString> m_header;
    std::vector<bool> m_numericCols;
    std::vector<int> m_rowOfKey;
    bool m_resetting = false;
};

} // namespace levora
