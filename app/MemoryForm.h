// The main window's grid and option fields held in memory, behaving as the window's controls do:
// levora-level's controls, and those of the tests that run the window's rules without a display.
#pragma once

#include "app/MainForm.h"

#include <array>
#include <string>
#include <vector>

namespace levora {

// myGrid: columns 0 (fixed), "selected" and "FileName"; row 0 the header. Cells outside the grid
// and fewer than one row throw Error 9, as the window's grid does.
class MemoryGrid : public IGrid {
public:
    MemoryGrid() : m_rows(1) {}
    int Rows() const override { return static_cast<int>(m_rows.size()); }
    void setRows(int rows) override;
    int Cols() const override { return kCols; }
    int Row() const override { return m_row; }
    void setRow(int row) override;
    int Col() const override { return m_col; }
    void setCol(int col) override;
    int ColIndex(const std::string& key) const override;
    std::string TextMatrix(int row, int col) const override;
    void setTextMatrix(int row, int col, const std::string& text) override;
    // The header row holds no check boxes: it reads unchecked and ignores a change.
    bool CellChecked(int row, int col) const override;
    void setCellChecked(int row, int col, bool checked) override;
    void setRedraw(bool on) override { m_redraw = on; }

    bool redraw() const { return m_redraw; }
    int rowsAppendedWithoutRedraw() const { return m_appendedWithoutRedraw; }
    // The "FileName" texts and the "selected" checks of the rows below the header.
    std::vector<std::string> fileNames() const;
    std::vector<bool> checks() const;

    static constexpr int kCols = 3;

private:
    struct Cell {
        std::string text;
        bool checked = false;
    };
    using GridRow = std::array<Cell, kCols>;
    void check(int row, int col) const;

    std::vector<GridRow> m_rows;
    int m_row = 0;
    int m_col = 0;
    bool m_redraw = true;
    int m_appendedWithoutRedraw = 0;
};

// A drop-down list of fixed entries; an index outside the list throws Error 380.
class MemoryOptionField : public IOptionField {
public:
    void AddItem(const std::string& text) override { m_items.push_back(text); }
    int ListCount() const override { return static_cast<int>(m_items.size()); }
    int ListIndex() const override { return m_index; }
    void setListIndex(int index) override;
    std::string Text() const override;
    bool Enabled() const override { return m_enabled; }
    void setEnabled(bool enabled) override { m_enabled = enabled; }

    const std::vector<std::string>& items() const { return m_items; }
    // Selects the entry whose text is exactly text; false when the list has none.
    bool selectText(const std::string& text);

private:
    std::vector<std::string> m_items;
    int m_index = -1;
    bool m_enabled = true;
};

// The main window's controls as its start-up and its option rules see them. It has no captions
// and no prompts menu to show.
class MemoryForm : public IMainForm {
public:
    void frmMain_Auto_Init() override {}
    void setPromptsMenuVisible(bool) override {}
    IOptionField& optionField(OptionFieldId id) override { return field(id); }
    IGrid& fileGrid() override { return m_grid; }

    MemoryOptionField& field(OptionFieldId id) { return m_fields[static_cast<size_t>(id)]; }
    const MemoryOptionField& field(OptionFieldId id) const { return m_fields[static_cast<size_t>(id)]; }
    MemoryGrid& grid() { return m_grid; }
    const MemoryGrid& grid() const { return m_grid; }

private:
    MemoryGrid m_grid;
    std::array<MemoryOptionField, 4> m_fields; // in OptionFieldId order
};

} // namespace levora
