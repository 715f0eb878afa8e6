// The option fields: entries, the entry chosen for a registry value, and the switch of the three
// secondary fields when the focus leaves the target field.
#include "app/OptionFields.h"
#include "app/MemoryForm.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace levora {
namespace {

TEST(OptionEntries, AreListedInAscendingOrderWithABlankOnlyBeforeTheNonNegativeTarget) {
    struct Case {
        const OptionList& list;
        size_t count;
        const char* first;
        const char* last;
    };
    for (const Case& c : {Case{kTargetDBList, 36, "-35", " 0"}, Case{kSampleSizeList, 20, "4000", "80000"},
                          Case{kGainThresholdList, 20, "1", "20"}, Case{kMindBLevelList, 26, "-55", "-30"}}) {
        MemoryOptionField f;
        FillOptionField(f, c.list, 123456);
        ASSERT_EQ(f.items().size(), c.count);
        EXPECT_EQ(f.items().front(), c.first);
        EXPECT_EQ(f.items().back(), c.last);
        EXPECT_EQ(f.items()[1].find(' '), std::string::npos);
    }
}

TEST(OptionEntries, TheRegistryValueSelectsItsEntryElseTheFallback) {
    struct Case {
        const OptionList& list;
        int32_t stored;
        const char* shown;
    };
    const Case cases[] = {
        {kTargetDBList, -26, "-26"},     {kTargetDBList, -40, "-26"},       {kTargetDBList, 0, " 0"},
        {kTargetDBList, -1, "-1"},       {kTargetDBList, 26, "-26"},        {kMindBLevelList, 50, "-50"},
        {kMindBLevelList, -50, "-45"},   {kMindBLevelList, 45, "-45"},      {kMindBLevelList, 30, "-30"},
        {kSampleSizeList, 6000, "8000"}, {kSampleSizeList, 80000, "80000"}, {kGainThresholdList, 20, "20"},
        {kGainThresholdList, 0, "5"},
    };
    for (const Case& c : cases) {
        MemoryOptionField f;
        FillOptionField(f, c.list, c.stored);
        EXPECT_EQ(f.Text(), c.shown) << "stored " << c.stored;
    }
}

// A host version as start-up stores it.
struct VersionHolder {
    VersionHolder(int16_t major, int16_t minor, int16_t release, int16_t build) {
        version.setLoaded({major, minor, release, build});
    }
    test::ScriptedMessageBox msgbox;
    RegistryAPI registry{nullRegistry()};
    TalvioVersion version{registry, msgbox};

    static IRegistry& nullRegistry() {
        struct None : IRegistry {
            long RegOpenKeyExA(HKEY, const std::string&, uint32_t, uint32_t, HKEY*) override { return 2; }
            long RegQueryValueExA(HKEY, const std::string&, uint32_t*, uint8_t*, uint32_t*) override { return 2; }
            long RegSetValueExA(HKEY, const std::string&, uint32_t, const uint8_t*, uint32_t) override { return 2; }
            long RegCloseKey(HKEY) override { return 0; }
        };
        static None none;
        return none;
    }
};

bool secondaryFieldsAre(const MemoryForm& form, bool enabled) {
    for (OptionFieldId id : {OptionFieldId::SampleSize, OptionFieldId::GainThreshold, OptionFieldId::MindBLevel})
        if (form.field(id).Enabled() != enabled)
            return false;
    return true;
}

TEST(TargetValidation, ZeroDisablesAndAnotherTargetEnablesFromRelease3Build19On) {
    struct Case {
        int16_t release, build;
        bool reenabled;
    };
    for (const Case& c : {Case{3, 19, true}, Case{3, 18, false}, Case{4, 0, true}, Case{1, 0, false}}) {
        VersionHolder v(3, 1, c.release, c.build);
        MemoryForm form;
        FillOptionField(form.field(OptionFieldId::TargetDB), kTargetDBList, 0);
        bool cancel = false;
        cmbTargetDB_Validate(form, v.version, cancel);
        EXPECT_TRUE(secondaryFieldsAre(form, false));
        ASSERT_TRUE(form.field(OptionFieldId::TargetDB).selectText("-20"));
        cmbTargetDB_Validate(form, v.version, cancel);
        EXPECT_TRUE(secondaryFieldsAre(form, c.reenabled)) << "3.1(" << c.release << ") build " << c.build;
        EXPECT_FALSE(cancel);
    }
}

TEST(TargetValidation, ANonZeroTargetOnAnOldHostLeavesTheFieldsAsTheyAre) {
    VersionHolder v(3, 1, 2, 0);
    MemoryForm form;
    FillOptionField(form.field(OptionFieldId::TargetDB), kTargetDBList, -26);
    SetSecondaryOptionsEnabled(form, true);
    bool cancel = false;
    cmbTargetDB_Validate(form, v.version, cancel);
    EXPECT_TRUE(secondaryFieldsAre(form, true));
}

} // namespace
} // namespace levora
