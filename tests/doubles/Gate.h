#pragma once
// A gate for the doubles: holds back whoever arrives until the test opens it
// (a folder on a dead network mount, a server that does not answer).
#include <condition_variable>
#include <mutex>

namespace marbrook::testing {

// Holds back whoever arrives until the test opens it: a folder on a dead
// network mount, a server that does not answer.
class Gate {
public:
    // Waits (at most half a minute, so that a broken test cannot hang) until
    // the gate is opened.
    void Pass();
    void Open();
    // Waits until someone is waiting at the gate; false after `limitMs`.
    bool WaitReached(int limitMs = 10000);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool reached_ = false;
};

} // namespace marbrook::testing
