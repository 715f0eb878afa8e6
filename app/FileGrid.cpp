#include "app/FileGrid.h"

#include "platform/ReplaceFile.h"
#include "platform/WinPath.h"

#include <variant>
#include <vector>

namespace levora {

namespace {

std::string readRoot(RegistryAPI& registry) {
    Variant v = registry.getRegValue(HKEY_LOCAL_MACHINE, kVantorSetupKey, kVantorRootValue, REG_SZ, std::string{});
    if (auto* s = std::get_if<std::string>(&v))
        return *s;
    throw Error(err::TypeMismatch);
}

// A folder's path as the file service reports it for its entries: no trailing separator and no
// doubled separators inside (a leading "\\" of a network path is kept).
std::string folderPath(const std::string& folder) {
    std::string out;
    out.reserve(folder.size());
    for (size_t i = 0; i < folder.size(); ++i) {
        const char c = folder[i];
        if (c == '\\' && !out.empty() && out.back() == '\\' && i > 1)
            continue;
        out += c;
    }
    while (out.size() > 1 && out.back() == '\\' && !(out.size() == 3 && out[1] == ':'))
        out.pop_back();
    return out;
}

class RedrawOff {
public:
    explicit RedrawOff(IGrid& grid) : m_grid(grid) {}
    ~RedrawOff() {
        try {
            m_grid.setRedraw(true);
        } catch (...) {
        }
    }

private:
    IGrid& m_grid;
};

void appendRow(IGrid& grid, const std::string& path) {
    const int row = grid.Rows();
    grid.setRows(row + 1);
    grid.setTextMatrix(row, grid.ColIndex("FileName"), path);
    grid.setCellChecked(row, grid.ColIndex("Selected"), true);
}

} // namespace

bool bHasWavExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot != std::string::npos && equalsNoCase(name.substr(dot + 1), "WAV");
}

void FillGrid(IGrid& grid, RegistryAPI& registry, IFileSystem& fs, StepRunner& trap) {
    std::string root;
    trap.step([&] { root = readRoot(registry); });
    const std::string first = root + "\\Stream Files\\";

    std::vector<std::string> files;
    const bool firstOpen = trap.step([&] { files = fs.FileNames(first); });

    RedrawOff redraw(grid);
    trap.step([&] { grid.setRedraw(false); });

    if (firstOpen) {
        for (const std::string& name : files) {
            if (isTempBesideName(name))
                continue; // left by a killed run; the next run removes it
            if (!trap.step([&] { appendRow(grid, first + name); }))
                break; // the grid refuses rows: one message is enough
        }
    }

    trap.step([&] { root = readRoot(registry); });
    const std::string second = root + "\\localize\\defaultconfiguration\\";
    std::vector<std::string> subFolders;
    if (trap.step([&] { subFolders = fs.SubFolderNames(second); })) {
        const std::string base = folderPath(second);
        for (const std::string& sub : subFolders) {
            trap.step([&] {
                const std::string subPath = base + "\\" + sub;
                for (const std::string& name : fs.FileNames(subPath))
                    if (bHasWavExtension(name) && !isTempBesideName(name))
                        appendRow(grid, subPath + "\\" + name);
            });
        }
    }
}

void FileGridRules::SetAllChecks(bool checked) {
    const int rows = m_grid.Rows();
    for (int row = 1; row <= rows - 1; ++row)
        m_grid.setCellChecked(row, m_grid.ColIndex("selected"), checked);
}

void FileGridRules::Click() {
    const int col = m_grid.Col();
    const int row = m_grid.Row();
    if (col > 1 && row > 0) {
        const int check = m_grid.ColIndex("Selected");
        m_grid.setCellChecked(row, check, !m_grid.CellChecked(row, check));
    }
}

void FileGridRules::BeforeEdit(int /*row*/, int col, bool& cancel) {
    if (col != m_grid.ColIndex("Selected"))
        cancel = true;
}

void FileGridRules::AfterSort(int /*col*/, int /*order*/) {
    m_grid.setRow(0);
    m_grid.setCol(0);
}

} // namespace levora
