// A bound on every test of the program it is linked into. A test whose
// behaviour broke into an endless wait (a modal loop nobody ends, a control
// busy for minutes, a window that never comes) is reported as failed and
// the program ends, instead of the whole run hanging until it is killed.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace qh::test {
namespace {

class Watchdog : public ::testing::EmptyTestEventListener {
public:
    // Seconds a test may take; QH_TEST_LIMIT overrides it.
    static constexpr int DefaultLimit = 60;

    Watchdog() : state_(new State) {
        const char* limit = std::getenv("QH_TEST_LIMIT");
        state_->limit = std::chrono::seconds(limit && std::atoi(limit) > 0 ? std::atoi(limit) : DefaultLimit);
        // The state outlives the listener: the thread may still wait on it
        // while the program ends.
        std::thread([state = state_] { state->Watch(); }).detach();
    }

    void OnTestStart(const ::testing::TestInfo& test) override {
        const std::lock_guard lock(state_->mutex);
        state_->name = std::string(test.test_suite_name()) + "." + test.name();
        state_->deadline = std::chrono::steady_clock::now() + state_->limit;
        state_->armed = true;
        state_->changed.notify_all();
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        const std::lock_guard lock(state_->mutex);
        state_->armed = false;
        state_->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::chrono::seconds limit{DefaultLimit};
        std::chrono::steady_clock::time_point deadline;
        std::string name;
        bool armed = false;

        void Watch() {
            std::unique_lock lock(mutex);
            for (;;) {
                if (!armed) {
                    changed.wait(lock);
                } else if (std::chrono::steady_clock::now() < deadline) {
                    changed.wait_until(lock, deadline);
                } else {
                    std::fprintf(stderr, "[  FAILED  ] %s: still running after %lld s; the program ends here\n",
                                 name.c_str(), static_cast<long long>(limit.count()));
                    std::fflush(stderr);
                    std::fflush(stdout);
                    std::_Exit(1);
                }
            }
        }
    };
    State* state_;
};

const bool watchdogInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return true;
}();

}  // namespace
}  // namespace qh::test
