// The phrase file through the system's file calls, as the program uses it.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "platform.h"
#include "scratch_folder.h"
#include "windows_test_support.h"

namespace qh::win {
namespace {

class SystemFile : public ::testing::Test {
protected:
    bool TempLeft() const { return GetFileAttributesW((path_ + L".tmp").c_str()) != INVALID_FILE_ATTRIBUTES; }

    test::ScratchFolder folder_{"qh-file"};
    const std::wstring dir_ = folder_.Path().wstring() + L"\\", path_ = folder_.PhraseFile().wstring();
};

TEST_F(SystemFile, MissingFileIsNoFileAndWritesReadBackExactly) {
    const auto file = OpenPhraseFile(path_);
    EXPECT_FALSE(file->ReadAll(Hold::Fail).has_value());
    const std::string bytes("a\tb\r\n\x95\x5C\0z\r\n", 10);
    file->ReplaceAll(bytes);
    EXPECT_EQ(file->ReadAll(Hold::Fail), bytes);
    file->ReplaceAll("");
    EXPECT_EQ(file->ReadAll(Hold::Fail), "");
    EXPECT_FALSE(TempLeft());
}

TEST_F(SystemFile, AFailedReplaceLeavesTheOldFileWhole) {
    const auto file = OpenPhraseFile(path_);
    file->ReplaceAll("old\r\n");
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_ANY_THROW(file->ReplaceAll("new\r\n"));
    EXPECT_EQ(file->ReadAll(Hold::Fail), "old\r\n");
    EXPECT_FALSE(TempLeft());
}

// The identity of the file at the path: volume and file index.
std::pair<DWORD, ULONGLONG> FileIdentity(const std::wstring& path) {
    const KernelHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(GetFileInformationByHandle(file.get(), &info));
    return {info.dwVolumeSerialNumber, (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// A save puts a new, complete file in place and never rewrites the old one:
// a save cut short must leave the old bytes.
TEST_F(SystemFile, ASavePutsANewFileInPlaceAndOneThatFailsHalfWayLeavesTheOldBytes) {
    const auto file = OpenPhraseFile(path_);
    file->ReplaceAll("old\r\n");
    const auto before = FileIdentity(path_);
    file->ReplaceAll("new\r\n");
    EXPECT_NE(FileIdentity(path_), before);
    EXPECT_EQ(file->ReadAll(Hold::Fail), "new\r\n");

    // Bytes that run into memory that cannot be read: Windows refuses such a
    // write whole (ERROR_NOACCESS), Wine writes the readable page first.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_TRUE(pages && VirtualAlloc(pages, page, MEM_COMMIT, PAGE_READWRITE));
    std::memset(pages, 'x', page);
    EXPECT_ANY_THROW(file->ReplaceAll(std::string_view(pages, 2 * page)));
    VirtualFree(pages, 0, MEM_RELEASE);
    EXPECT_EQ(file->ReadAll(Hold::Fail), "new\r\n");
    EXPECT_FALSE(TempLeft());
}

TEST_F(SystemFile, AFolderInPlaceOfTheFileCannotBeReadOrReplaced) {
    CreateDirectoryW(path_.c_str(), nullptr);
    const auto file = OpenPhraseFile(path_);
    EXPECT_ANY_THROW(file->ReadAll(Hold::Fail));
    EXPECT_ANY_THROW(file->ReplaceAll("x\r\n"));
    EXPECT_FALSE(TempLeft());
    EXPECT_ANY_THROW(OpenPhraseFile(dir_ + L"no-such-folder\\TypeMsg.cfg")->ReplaceAll("x"));
}

// A file another program holds open without sharing; a message sent to the
// window below lets go of it.
HANDLE held = INVALID_HANDLE_VALUE;

LRESULT CALLBACK LetGoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP) return DefWindowProcW(hwnd, message, wParam, lParam);
    CloseHandle(held);
    held = INVALID_HANDLE_VALUE;
    return 0;
}

// A scanner holds the temporary file, or the phrase file, for a moment: the
// save waits for it and answers messages sent to the program meanwhile;
// here the sent message is what lets go. Last, a refusal: CreateFile gives
// ERROR_ACCESS_DENIED for a folder's name, as in a folder the user may not
// write to, and the save fails at once, the message still waiting.
TEST_F(SystemFile, ASaveWaitsForAHeldFileAndAnswersSentMessagesMeanwhile) {
    const HWND window = test::HiddenWindow(L"QhTestLetGo", LetGoProc);
    const auto file = OpenPhraseFile(path_);
    file->ReplaceAll("old\r\n");
    const std::wstring temp = path_ + L".tmp", refused = dir_ + L"unrelated";
    for (const std::wstring& name : {temp, path_, refused}) {
        if (name == refused) {
            ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
        }
        held = CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::atomic<bool> answered = false;
        std::thread sender([&] {
            SendMessageW(window, WM_APP, 0, 0);
            answered = true;
        });
        while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) Sleep(1);  // sent before the save
        if (name == refused) {
            EXPECT_ANY_THROW(file->ReplaceAll("new\r\n"));
            EXPECT_NE(held, INVALID_HANDLE_VALUE) << "the refused save waited";
        } else {
            EXPECT_NO_THROW(file->ReplaceAll("new\r\n"));
            EXPECT_EQ(held, INVALID_HANDLE_VALUE) << "the save did not answer the message";
        }
        while (!answered) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        sender.join();
        RemoveDirectoryW(temp.c_str());
        EXPECT_EQ(file->ReadAll(Hold::Fail), name == refused ? "old\r\n" : "new\r\n");
        file->ReplaceAll("old\r\n");
    }
    EXPECT_FALSE(TempLeft());
    DestroyWindow(window);
}

}  // namespace
}  // namespace qh::win
