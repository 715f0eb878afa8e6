// The grid control as Levora uses it: rows and columns counted from 0 with row 0 the fixed
// header row and column 0 the fixed left column, columns found by key, check cells, a current
// cell, and drawing that can be switched off while rows are appended.
#pragma once

#include <string>

namespace levora {

class IGrid {
public:
    virtual ~IGrid() = default;

    virtual int Rows() const = 0;
    // Appends empty unchecked rows, or drops rows from the end (never below the header row).
    virtual void setRows(int rows) = 0;
    virtual int Cols() const = 0;

    // The current cell.
    virtual int Row() const = 0;
    virtual void setRow(int row) = 0;
    virtual int Col() const = 0;
    virtual void setCol(int col) = 0;

    // The index of the column with this key, compared without regard to case; -1 when none has it.
    virtual int ColIndex(const std::string& key) const = 0;

    // Cell text; row 0 is the header. Out-of-range cells throw Error 9 "Subscript out of range".
    virtual std::string TextMatrix(int row, int col) const = 0;
    virtual void setTextMatrix(int row, int col, const std::string& text) = 0;
    virtual bool CellChecked(int row, int col) const = 0;
    virtual void setCellChecked(int row, int col, bool checked) = 0;

    // Off: rows are appended without drawing; back on: everything is drawn once.
    virtual void setRedraw(bool on) = 0;
};

// Event handlers of the grid.
struct GridEvents {
    virtual ~GridEvents() = default;
    // After a mouse click on a cell (the button released).
    virtual void Click() = 0;
    // Before the grid's own editing of a cell begins; setting cancel refuses the edit.
    virtual void BeforeEdit(int row, int col, bool& cancel) = 0;
    // After the user sorted the rows by a header click.
    virtual void AfterSort(int col, int order) = 0;
};

} // namespace levora
