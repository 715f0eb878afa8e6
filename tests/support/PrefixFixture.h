// A test on a fresh machine prefix in its own temporary folder.
#pragma once

#include "TestSupport.h"

#include "platform/Prefix.h"
#include "platform/WinPath.h"

#include <gtest/gtest.h>

namespace levora::test {

class PrefixFixture : public ::testing::Test {
protected:
    TempDir tmp;
    MachinePrefix prefix{tmp.path() / "pfx"};
    PathNamespace ns{prefix};
    std::filesystem::path c() const { return prefix.driveC(); }
};

} // namespace levora::test
