// What Wine grants and Windows refuses, handed to the program as Windows
// gives it: the instance mutex, and a shell not yet ready for the icon.
#include "shell_test_support.h"

namespace qh::test {
namespace {

// Windows refuses OpenMutexA asking for no access rights with
// ERROR_ACCESS_DENIED when the mutex exists; Wine grants the open.
TEST(SingleInstance, AnOpenRefusedForWantOfRightsMeansAnotherCopyRuns) {
    EXPECT_TRUE(win::AnotherCopyRuns(false, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(win::AnotherCopyRuns(true, ERROR_SUCCESS));
    EXPECT_FALSE(win::AnotherCopyRuns(false, ERROR_FILE_NOT_FOUND));
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
