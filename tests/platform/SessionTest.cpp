#include "platform/LinuxSession.h"

#include <gtest/gtest.h>

#include <map>

using namespace levora;

TEST(SessionTest, RemoteMeansAnXrdpSessionOrADisplayOnAnotherHost) {
    struct Case {
        std::map<std::string, std::string> env;
        int remote;
    } cases[] = {
        {{}, 0},
        {{{"DISPLAY", ":0"}}, 0},
        {{{"DISPLAY", ":1.0"}}, 0},
        {{{"DISPLAY", "unix:0"}}, 0},
        {{{"DISPLAY", "/tmp/launch-x/org.x:0"}}, 0},
        {{{"DISPLAY", "localhost:10.0"}}, 1}, // SSH's forwarded display
        {{{"DISPLAY", "buildhost:0"}}, 1},
        {{{"DISPLAY", "10.1.2.3:1"}}, 1},
        {{{"DISPLAY", "node::0"}}, 1},
        {{{"DISPLAY", "garbage"}}, 0},
        {{{"XRDP_SESSION", "1"}, {"DISPLAY", ":10"}}, 1},
        {{{"XRDP_SESSION", ""}}, 1},
        {{{"SSH_CONNECTION", "1.2.3.4 5 6.7.8.9 22"}, {"DISPLAY", ":99"}}, 0}, // SSH login, local display
    };
    for (const auto& tc : cases) {
        LinuxSession session([&](const std::string& name) -> std::optional<std::string> {
            auto it = tc.env.find(name);
            if (it == tc.env.end())
                return std::nullopt;
            return it->second;
        });
        std::string label;
        for (const auto& [k, v] : tc.env)
            label += k + "=" + v + " ";
        EXPECT_EQ(session.GetSystemMetrics(SM_REMOTESESSION), tc.remote) << label;
        EXPECT_EQ(session.GetSystemMetrics(0), 0) << label;
    }
}
