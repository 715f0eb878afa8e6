#include "MemoryForm.h"

#include "platform/Error.h"
#include "platform/WinPath.h"

namespace levora {

void MemoryGrid::check(int row, int col) const {
    if (row < 0 || row >= Rows() || col < 0 || col >= kCols)
        throw Error(9, "Subscript out of range");
}

void MemoryGrid::setRows(int rows) {
    if (rows < 1)
        throw Error(9, "Subscript out of range");
    if (!m_redraw && rows > Rows())
        m_appendedWithoutRedraw += rows - Rows();
    m_rows.resize(static_cast<size_t>(rows));
    if (m_row >= rows)
        m_row = rows - 1;
}

void MemoryGrid::setRow(int row) {
    check(row, m_col);
    m_row = row;
}

void MemoryGrid::setCol(int col) {
    check(m_row, col);
    m_col = col;
}

int MemoryGrid::ColIndex(const std::string& key) const {
    if (equalsNoCase(key, "selected"))
        return 1;
    if (equalsNoCase(key, "FileName"))
        return 2;
    return -1;
}

std::string MemoryGrid::TextMatrix(int row, int col) const {
    check(row, col);
    return m_rows[static_cast<size_t>(row)][static_cast<size_t>(col)].text;
}

void MemoryGrid::setTextMatrix(int row, int col, const std::string& text) {
    check(row, col);
    m_rows[static_cast<size_t>(row)][static_cast<size_t>(col)].text = text;
}

bool MemoryGrid::CellChecked(int row, int col) const {
    check(row, col);
    return row > 0 && m_rows[static_cast<size_t>(row)][static_cast<size_t>(col)].checked;
}

void MemoryGrid::setCellChecked(int row, int col, bool checked) {
    check(row, col);
    if (row > 0)
        m_rows[static_cast<size_t>(row)][static_cast<size_t>(col)].checked = checked;
}

std::vector<std::string> MemoryGrid::fileNames() const {
    std::vector<std::string> out;
    for (size_t r = 1; r < m_rows.size(); ++r)
        out.push_back(m_rows[r][2].text);
    return out;
}

std::vector<bool> MemoryGrid::checks() const {
    std::vector<bool> out;
    for (size_t r = 1; r < m_rows.size(); ++r)
        out.push_back(m_rows[r][1].checked);
    return out;
}

void MemoryOptionField::setListIndex(int index) {
    if (index < -1 || index >= ListCount())
        throw Error(380, "Invalid property value");
    m_index = index;
}

std::string MemoryOptionField::Text() const {
    return m_index < 0 ? std::string() : m_items[static_cast<size_t>(m_index)];
}

bool MemoryOptionField::selectText(const std::string& text) {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i] == text) {
            m_index = static_cast<int>(i);
            return true;
        }
    return false;
}

} // namespace levora
