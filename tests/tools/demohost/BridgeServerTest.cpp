#include "BridgeServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace levora::demohost {
namespace {

using nlohmann::json;
using Action = BridgeServer::Action;

const std::string kCall = R"({"method":"SyncCommit","args":[null,null,1,0,0]})";

struct FakeSync {
    SyncOutcome next;
    int calls = 0;
    BridgeServer::SyncFunction fn() {
        return [this] {
            ++calls;
            return next;
        };
    }
};

SyncOutcome done(int inserted, int updated, int deleted, int unchanged) {
    SyncOutcome r;
    r.status = SyncOutcome::Status::Done;
    r.counts = {inserted, updated, deleted, unchanged};
    return r;
}

json answerOf(const BridgeServer::Reply& r) {
    EXPECT_EQ(r.action, Action::Answer);
    return json::parse(r.line);
}

TEST(BridgeServer, ASuccessfulCallReportsWhatItDid) {
    FakeSync sync{done(1, 2, 3, 4)};
    BridgeServer server(sync.fn(), {});
    const json a = answerOf(server.handle(kCall));
    EXPECT_EQ(a["hresult"], 0);
    EXPECT_EQ(a["args"], json::parse(R"([7,"1 inserted, 2 updated, 3 deleted, 4 unchanged",1,0,0])"));
    EXPECT_TRUE(a.contains("result"));
    EXPECT_EQ(sync.calls, 1);
}

TEST(BridgeServer, OutcomesBecomeTheirFailureNumbers) {
    const struct {
        SyncOutcome::Status status;
        int32_t hresult;
        const char* text;
    } cases[] = {
        {SyncOutcome::Status::Busy, -2147467261, "try again"},
        {SyncOutcome::Status::Failed, -2147467259, "disk on fire"},
    };
    for (const auto& c : cases) {
        SyncOutcome o;
        o.status = c.status;
        o.message = "disk on fire";
        FakeSync sync{o};
        BridgeServer server(sync.fn(), {});
        const json a = answerOf(server.handle(kCall));
        EXPECT_EQ(a["hresult"], c.hresult);
        EXPECT_NE(a["description"].get<std::string>().find(c.text), std::string::npos) << a.dump();
        EXPECT_FALSE(a.contains("args"));
    }
}

TEST(BridgeServer, RequestsItCannotServe) {
    const struct {
        std::string line;
        int32_t hresult;
    } cases[] = {
        {"not json", static_cast<int32_t>(0x80070057)},
        {R"({"args":[]})", static_cast<int32_t>(0x80070057)},
        {R"({"method":"SyncCommit","args":7})", static_cast<int32_t>(0x80070057)},
        {R"({"method":"Commit","args":[null,null,1,0,0]})", static_cast<int32_t>(0x80020006)},
        {R"({"method":"SyncCommit","args":[1,2]})", static_cast<int32_t>(0x8002000E)},
    };
    FakeSync sync{done(0, 0, 0, 0)};
    BridgeServer server(sync.fn(), {});
    for (const auto& c : cases)
        EXPECT_EQ(answerOf(server.handle(c.line))["hresult"], c.hresult) << c.line;
    EXPECT_EQ(sync.calls, 0);
    EXPECT_EQ(server.calls(), 0);
    // Method names ignore case, as a dispatch interface looks them up.
    EXPECT_EQ(answerOf(server.handle(R"({"method":"synccommit","args":[null,null,1,0,0]})"))["hresult"], 0);
}

TEST(BridgeServer, TestFaultsFailThenWork) {
    const struct {
        int failCount;
        int32_t hresult;
    } cases[] = {{2, static_cast<int32_t>(0x80004003)}, {1, static_cast<int32_t>(0x80004005)}, {3, 429}};
    for (const auto& c : cases) {
        FakeSync sync{done(1, 0, 0, 0)};
        BridgeServer server(sync.fn(), BridgeFaults{c.failCount, c.hresult, -1, false});
        for (int i = 0; i < c.failCount; ++i)
            EXPECT_EQ(answerOf(server.handle(kCall))["hresult"], c.hresult);
        EXPECT_EQ(sync.calls, 0);
        EXPECT_EQ(answerOf(server.handle(kCall))["hresult"], 0);
        EXPECT_EQ(sync.calls, 1);
    }
}

TEST(BridgeServer, TestFaultsCrashOrHang) {
    FakeSync sync{done(1, 0, 0, 0)};
    BridgeServer crashing(sync.fn(), BridgeFaults{0, 0, 2, false});
    EXPECT_EQ(crashing.handle(kCall).action, Action::Answer);
    EXPECT_EQ(crashing.handle(kCall).action, Action::Answer);
    const auto crash = crashing.handle(kCall);
    EXPECT_EQ(crash.action, Action::Crash);
    EXPECT_FALSE(json::accept(crash.line)); // a torn answer

    BridgeServer hanging(sync.fn(), BridgeFaults{0, 0, -1, true});
    EXPECT_EQ(hanging.handle(kCall).action, Action::Hang);
}

} // namespace
} // namespace levora::demohost
