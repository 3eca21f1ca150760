// What Wine grants and Windows refuses, handed to the program as Windows
// gives it: the instance mutex, and a shell not yet ready for the icon.
#include "shell_test_support.h"

namespace qh::test {
namespace {

// Windows refuses OpenMutexA asking for no access rights with
// ERROR_ACCESS_DENIED when the mutex exists, and CreateMutexA gives no handle
// and ERROR_ACCESS_DENIED when an elevated copy made it; Wine grants both.
TEST(SingleInstance, EachAnswerOfTheSystemLeadsToTheRightStart) {
    enum Start { Leaves, Guarded, Unguarded };
    struct Case {
        const char* what;
        bool opened;
        DWORD openError;
        bool created;
        DWORD createError;
        Start start;
    };
    const Case cases[] = {
        {"the open granted", true, ERROR_SUCCESS, true, ERROR_SUCCESS, Leaves},
        {"the open refused for want of rights", false, ERROR_ACCESS_DENIED, true, ERROR_SUCCESS, Leaves},
        {"made first", false, ERROR_FILE_NOT_FOUND, true, ERROR_SUCCESS, Guarded},
        {"made in the same instant by another copy", false, ERROR_FILE_NOT_FOUND, true, ERROR_ALREADY_EXISTS, Leaves},
        {"made by an elevated copy", false, ERROR_FILE_NOT_FOUND, false, ERROR_ACCESS_DENIED, Leaves},
        {"refused for want of memory", false, ERROR_FILE_NOT_FOUND, false, ERROR_NOT_ENOUGH_MEMORY, Unguarded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int creates = 0;
        const std::optional<win::Mutex> instance = win::ClaimInstance(
            {[&] { return win::MutexAnswer{c.opened ? CreateMutexW(nullptr, FALSE, nullptr) : nullptr, c.openError}; },
             [&] {
                 ++creates;
                 return win::MutexAnswer{c.created ? CreateMutexW(nullptr, TRUE, nullptr) : nullptr, c.createError};
             }});
        EXPECT_EQ(instance ? (*instance ? Guarded : Unguarded) : Leaves, c.start);
        EXPECT_EQ(creates, c.opened || c.openError == ERROR_ACCESS_DENIED ? 0 : 1) << "made after another copy was found";
    }
}

using TrayAtLogon = MainWindowTest;

// At logon Windows refuses NIM_ADD while the shell is not ready, and may
// send no "TaskbarCreated" once it is.
TEST_F(TrayAtLogon, TheIconIsAddedOnceTheShellTakesIt) {
    int refusals = 2;
    main = std::make_unique<win::TFMain>(folder.PhraseFile(), [&](DWORD message, NOTIFYICONDATAA& data) {
        if (message == NIM_ADD && refusals > 0) {
            --refusals;
            return false;
        }
        return Shell_NotifyIconA(message, &data) != FALSE;
    });
    EXPECT_FALSE(TrayIconPresent(main->Handle()));
    EXPECT_TRUE(PumpUntil([&] { return TrayIconPresent(main->Handle()); }, 10000ms));
    EXPECT_EQ(refusals, 0);
}

}  // namespace
}  // namespace qh::test
