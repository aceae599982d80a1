// The run's turn: setup, the uninstall and the batch file's waiting instance of one program
// folder never hold it at once.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_events;  // written by one holder at a time: the turn orders them
const DWORD kAtMost = 30000;        // well inside the turn's own wait, after which it gives up

// One run on a thread of its own (the mutex is owned per thread): takes the turn, says so, and
// keeps it until told to let go.
class Holder {
public:
    explicit Holder(const char* name) : name_(name), thread_(CreateThread(nullptr, 0, Hold, this, 0, nullptr)) {}
    ~Holder() {
        LetGo();
        WaitForSingleObject(thread_, INFINITE);
        for (HANDLE handle : {thread_, got_, letGo_}) CloseHandle(handle);
    }
    bool Got(DWORD millis) const { return WaitForSingleObject(got_, millis) == WAIT_OBJECT_0; }
    void LetGo() const { SetEvent(letGo_); }

private:
    static DWORD WINAPI Hold(void* self) {
        auto* holder = static_cast<Holder*>(self);
        RunTurn turn(L"Ombrix");
        g_events.push_back(holder->name_ + " has it");
        SetEvent(holder->got_);
        WaitForSingleObject(holder->letGo_, INFINITE);
        g_events.push_back(holder->name_ + " lets go");
        return 0;
    }
    std::string name_;
    HANDLE got_ = CreateEventW(nullptr, TRUE, FALSE, nullptr), letGo_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread_;
};

}  // namespace

TEST(RunTurn, ASecondRunWaitsUntilTheFirstLetsGo) {
    {
        Holder setup("setup");
        ASSERT_TRUE(setup.Got(kAtMost));
        Holder uninstall("uninstall");
        EXPECT_FALSE(uninstall.Got(1000)) << "both runs hold the turn at once";
        setup.LetGo();
        EXPECT_TRUE(uninstall.Got(kAtMost)) << "the turn was not handed on";
    }  // both threads have ended
    const std::vector<std::string> expected = {"setup has it", "setup lets go", "uninstall has it", "uninstall lets go"};
    EXPECT_EQ(expected, g_events);
}
