#include "platform/Error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace levora;

TEST(StepRunner, ReportsEachFailingStepAndGoesOn) {
    std::vector<int> reported;
    StepRunner run([&](const Error& e) { reported.push_back(e.number()); });
    int ran = 0;
    EXPECT_FALSE(run.step([&] { raiseError(err::Overflow); }));
    EXPECT_TRUE(run.step([&] { ++ran; }));
    EXPECT_FALSE(run.step([&] {
        throw std::filesystem::filesystem_error("x", std::make_error_code(std::errc::no_such_file_or_directory));
    }));
    EXPECT_FALSE(run.step([&] { throw 42; }));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(reported, (std::vector<int>{6, 53, 5}));
}

TEST(Error, ProcedureMessageHasNoSeparatorsBeyondTheFixedPieces) {
    EXPECT_EQ(formatProcedureError(Error(6), "getVersion", "Module", "TalvioVersion"),
              "(error):6 (Overflow) in procedure getVersion of Module TalvioVersion");
    EXPECT_EQ(formatProcedureError(Error(err::E_FAIL_, "D"), "x", "Form", "frmMain"),
              "(error):-2147467259 (D) in procedure x of Form frmMain");
}
