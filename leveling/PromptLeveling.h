// Leveling every system prompt of the host (the hidden "/SetPrompts" menu item).
#pragma once

#include "leveling/RunContext.h"

#include <string>

namespace levora {

constexpr const char* kPromptQuestion =
    "This will level all the prompt files to the selected volume levels.  Are you sure you want to proceed?";
constexpr const char* kPromptLabel = "Updating prompt file: ";

class PromptLeveling {
public:
    explicit PromptLeveling(RunContext& ctx) : m_ctx(ctx) {}

    void mnuLevoraForPrompts_Click();
    // Depth first, sub-folders before files; reports nothing. folder may end in a backslash or not.
    void LevelPromptFolder(const std::string& folder);

    // The walk stops descending below this many levels (a linked folder can point back up the tree).
    static constexpr int kMaxDepth = 64;

private:
    void walk(const std::string& folder, int depth);

    RunContext& m_ctx;
};

// A prompt file: the last four characters of the name are ".WAV" in any letter case.
bool bIsPromptFileName(const std::string& name);

} // namespace levora
