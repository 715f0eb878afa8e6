// myGrid: the grid control as a table view over GridModel. Row 0 is the header row, column 0 the
// fixed narrow column; columns are found by key. A click on a cell raises Click after the button is
// released; the grid's own editing (check cells toggle, text cells open an editor) asks BeforeEdit
// first; a header click sorts the rows and raises AfterSort, then Click.
#pragma once

#include "GridModel.h"
#include "app/Grid.h"

#include <QPersistentModelIndex>
#include <QTableView>

#include <string>
#include <vector>

namespace levora {

class GridControl : public QTableView, public IGrid {
    Q_OBJECT
public:
    struct Column {
        std::string key;
        int widthTwips;
        bool checks; // the column's cells are check boxes
    };
    GridControl(std::vector<Column> columns, QWidget* parent = nullptr);

    void setEvents(GridEvents* events) { m_events = events; }
    GridModel* gridModel() const { return m_model; }

    // IGrid
    int Rows() const override { return m_model->rowCount() + 1; }
    void setRows(int rows) override;
    int Cols() const override { return m_model->columnCount(); }
    int Row() const override { return m_row; }
    void setRow(int row) override;
    int Col() const override { return m_col; }
    void setCol(int col) override;
    int ColIndex(const std::string& key) const override;
    std::string TextMatrix(int row, int col) const override;
    void setTextMatrix(int row, int col, const std::string& text) override;
    bool CellChecked(int row, int col) const override;
    void setCellChecked(int row, int col, bool checked) override;
    void setRedraw(bool on) override;

    // An editor is open in a cell.
    bool isEditing() const { return state() == EditingState; }
    // The column widths and the row height at the current font.
    void applyMetrics();
    // This column takes the width the others leave (by default the last one does).
    void setStretchColumn(int col);
    // The width a column's caption has for its text at that section width, with the sort arrow shown.
    int captionRoom(int col, int width) const;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void headerClicked(int col);
    void fitCaption(int col);
    void checkCell(int row, int col) const;
    void syncCurrent();
    // The grid's own editing of a cell, after BeforeEdit.
    bool beginEdit(const QModelIndex& index, EditTrigger trigger, QEvent* event);

    std::vector<Column> m_columns;
    GridModel* m_model;
    GridEvents* m_events = nullptr;
    int m_row = 0;
    int m_col = 0;
    bool m_syncing = false;
    QPersistentModelIndex m_pressed;
    int m_sortCol = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace levora
