// The file list of the main window: which greetings and voice names the run will level.
#pragma once

#include "app/Grid.h"
#include "host/RegistryAPI.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/HostKeys.h"

#include <string>

namespace levora {

constexpr const char* kVantorSetupKey = hostkeys::kSetupKey;
constexpr const char* kVantorRootValue = hostkeys::kVantorRootValue;

// The columns of myGrid, left to right: the fixed column, the check column, the file name, and
// the window's speech level of each file (filled by the window itself, not by FillGrid).
constexpr const char* kSelectedKey = "selected";
constexpr const char* kFileNameKey = "FileName";
constexpr const char* kLevelKey = "Level";
constexpr int kGridCols = 4;
// Column widths in twips (the file name takes what the others leave).
constexpr int kGridColWidths[kGridCols] = {180, 240, 1605, 1215};

// Fills the grid with every file directly in "<root>\Stream Files\" and every WAV file in the
// direct sub-folders of "<root>\localize\defaultconfiguration\", each row checked. A failing step
// is handed to trap and the fill goes on; drawing is off while rows are appended.
void FillGrid(IGrid& grid, RegistryAPI& registry, IFileSystem& fs, StepRunner& trap);

// The extension test of the default-configuration folders: the text after the last dot is "WAV".
bool bHasWavExtension(const std::string& name);

// The grid's rules, one per event.
class FileGridRules : public GridEvents {
public:
    explicit FileGridRules(IGrid& grid) : m_grid(grid) {}

    // cmdSelectAll (true) and cmdUnselectAll (false).
    void SetAllChecks(bool checked);
    void Click() override;
    void BeforeEdit(int row, int col, bool& cancel) override;
    void AfterSort(int col, int order) override;

private:
    IGrid& m_grid;
};

} // namespace levora
