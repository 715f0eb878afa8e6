// The main window's grid and option fields held in memory, for the rules that run without a
// display.
#pragma once

#include "app/MainForm.h"
#include "platform/Error.h"
#include "platform/WinPath.h"

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

namespace levora::test {

class MemoryGrid : public IGrid {
public:
    int Rows() const override { return static_cast<int>(m_rows.size()) + 1; }
    void setRows(int rows) override {
        if (rows < 1)
            throw Error(9);
        while (Rows() < rows) {
            m_rows.push_back({});
            if (!redraw)
                ++appendedWhileRedrawOff;
        }
        while (Rows() > rows)
            m_rows.pop_back();
    }
    int Cols() const override { return 3; }
    int Row() const override { return m_row; }
    void setRow(int row) override { m_row = row; }
    int Col() const override { return m_col; }
    void setCol(int col) override { m_col = col; }
    int ColIndex(const std::string& key) const override {
        if (equalsNoCase(key, "selected"))
            return 1;
        if (equalsNoCase(key, "FileName"))
            return 2;
        return -1;
    }
    std::string TextMatrix(int row, int col) const override { return row == 0 ? header[col] : at(row).text[col]; }
    void setTextMatrix(int row, int col, const std::string& text) override {
        (row == 0 ? header[check(col)] : at(row).text[col]) = text;
    }
    bool CellChecked(int row, int col) const override { return row > 0 && at(row).checked[col]; }
    void setCellChecked(int row, int col, bool checked) override { at(row).checked[check(col)] = checked; }
    void setRedraw(bool on) override {
        redraw = on;
        redrawCalls.push_back(on);
    }

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& r : m_rows)
            out.push_back(r.text[2]);
        return out;
    }
    std::vector<bool> checks() const {
        std::vector<bool> out;
        for (const auto& r : m_rows)
            out.push_back(r.checked[1]);
        return out;
    }

    bool redraw = true;
    int appendedWhileRedrawOff = 0;
    std::vector<bool> redrawCalls;
    std::array<std::string, 3> header;

private:
    struct Cells {
        std::array<std::string, 3> text;
        std::array<bool, 3> checked{};
    };
    static int check(int col) {
        if (col < 0 || col > 2)
            throw Error(9, "Subscript out of range");
        return col;
    }
    Cells& at(int row) {
        if (row < 1 || row >= Rows())
            throw Error(9, "Subscript out of range");
        return m_rows[static_cast<size_t>(row - 1)];
    }
    const Cells& at(int row) const { return const_cast<MemoryGrid*>(this)->at(row); }

    std::vector<Cells> m_rows;
    int m_row = 0;
    int m_col = 0;
};

class MemoryOptionField : public IOptionField {
public:
    void AddItem(const std::string& text) override { items.push_back(text); }
    int ListCount() const override { return static_cast<int>(items.size()); }
    int ListIndex() const override { return index; }
    void setListIndex(int i) override {
        if (i < -1 || i >= ListCount())
            throw Error(380, "Invalid property value");
        index = i;
    }
    std::string Text() const override { return index < 0 ? std::string() : items[static_cast<size_t>(index)]; }
    bool Enabled() const override { return enabled; }
    void setEnabled(bool e) override { enabled = e; }

    std::vector<std::string> items;
    int index = -1;
    bool enabled = true;
};

class MemoryForm : public IMainForm {
public:
    void frmMain_Auto_Init() override { ++labelled; }
    void setPromptsMenuVisible(bool visible) override { promptsVisible = visible; }
    IOptionField& optionField(OptionFieldId id) override {
        switch (id) {
        case OptionFieldId::TargetDB:
            return target;
        case OptionFieldId::SampleSize:
            return sampleSize;
        case OptionFieldId::GainThreshold:
            return gainThreshold;
        case OptionFieldId::MindBLevel:
            break;
        }
        return minimum;
    }
    IGrid& fileGrid() override { return grid; }

    bool secondaryEnabled() const { return sampleSize.enabled && gainThreshold.enabled && minimum.enabled; }
    bool secondaryDisabled() const { return !sampleSize.enabled && !gainThreshold.enabled && !minimum.enabled; }

    MemoryOptionField target, sampleSize, gainThreshold, minimum;
    MemoryGrid grid;
    int labelled = 0;
    bool promptsVisible = false;
};

} // namespace levora::test
