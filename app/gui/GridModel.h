// The cells of myGrid: text and an optional check box per cell, kept in flat arrays so that tens
// of thousands of rows append and sort quickly. Model rows are the grid's data rows (grid row 1 is
// model row 0); the header row is the horizontal header.
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
    const QString& text(int row, int col) const { return m_text[cell(row, col)]; }
    void setText(int row, int col, const QString& text);
    // -1: no check box; 0 unchecked; 1 checked.
    int check(int row, int col) const { return m_check[cell(row, col)]; }
    void setCheck(int row, int col, bool checked);
    const QString& header(int col) const { return m_header[static_cast<size_t>(col)]; }
    void setHeader(int col, const QString& text);

    // Off: cells change without notifying the views; on again: the views reload once.
    void setRedraw(bool on);
    bool redraw() const { return !m_resetting; }

    // Stable sort of the data rows by one column (names in the locale's order).
    void sortRows(int col, Qt::SortOrder order);

private:
    size_t cell(int row, int col) const { return static_cast<size_t>(row) * static_cast<size_t>(m_cols) + col; }
    void changed(int row, int col, int role);

    int m_cols;
    int m_fixedCols;
    std::vector<bool> m_checkCols;
    int m_rows = 0;
    std::vector<QString> m_text;
    std::vector<int8_t> m_check;
    std::vector<QString> m_header;
    bool m_resetting = false;
};

} // namespace levora
