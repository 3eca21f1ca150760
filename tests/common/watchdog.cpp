// A bound on every test of the program it is linked into. A test whose
// behaviour broke into an endless wait (a modal loop nobody ends, a control
// busy for minutes, a window that never comes) is reported as failed and
// the program ends, instead of the whole run hanging until it is killed.
// QH_TEST_LIMIT gives the bound in seconds (60 by default).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace qh::test {
namespace {

using Clock = std::chrono::steady_clock;

struct Running {
    std::mutex mutex;
    std::string test;  // empty between tests
    Clock::time_point deadline;
};
// Never destroyed: the watching thread may look while the program ends.
Running& running = *new Running;

class Watchdog : public ::testing::EmptyTestEventListener {
public:
    Watchdog() {
        const char* limit = std::getenv("QH_TEST_LIMIT");
        limit_ = std::chrono::seconds(limit && std::atoi(limit) > 0 ? std::atoi(limit) : 60);
        std::thread([limit = limit_] {
            for (;;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                const std::lock_guard lock(running.mutex);
                if (running.test.empty() || Clock::now() < running.deadline) continue;
                std::fprintf(stderr, "[  FAILED  ] %s: still running after %lld s; the program ends here\n",
                             running.test.c_str(), static_cast<long long>(limit.count()));
                std::fflush(nullptr);
                std::_Exit(1);
            }
        }).detach();
    }
    void OnTestStart(const ::testing::TestInfo& test) override {
        const std::lock_guard lock(running.mutex);
        running.test = std::string(test.test_suite_name()) + "." + test.name();
        running.deadline = Clock::now() + limit_;
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        const std::lock_guard lock(running.mutex);
        running.test.clear();
    }

private:
    std::chrono::seconds limit_;
};

const bool installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return true;
}();

}  // namespace
}  // namespace qh::test
