// The phrase file through the system's file calls, as the program uses it.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <optional>
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
bool letGo = false;

LRESULT CALLBACK LetGoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    held = INVALID_HANDLE_VALUE;
    letGo = true;
    return 0;
}

// A scanner holds the temporary file, or the phrase file, for a moment: the
// save, and the read before it, wait for it and answer messages sent to the
// program meanwhile; here the sent message is what lets go. A refusal fails
// at once, the message still waiting.
TEST_F(SystemFile, ASaveWaitsForAHeldFileAndAnswersSentMessagesMeanwhile) {
    const HWND window = test::HiddenWindow(L"QhTestLetGo", LetGoProc);
    const auto file = OpenPhraseFile(path_);
    file->ReplaceAll("old\r\n");
    const std::wstring temp = path_ + L".tmp";
    const struct {
        const char* what;
        std::wstring held, folder;  // held without sharing; a folder put in place of a file
        bool read, waits;           // the read before a save, rather than the save
        const char* after;          // the file then; null: no file
    } cases[] = {
        {"the temporary file held", temp, L"", false, true, "new\r\n"},
        {"the phrase file held", path_, L"", false, true, "new\r\n"},
        {"the phrase file held as it is read", path_, L"", true, true, "old\r\n"},
        // Windows gives ERROR_ACCESS_DENIED for these, as in a folder the user may not write to.
        {"a folder in the temporary file's place", L"", temp, false, false, "old\r\n"},
        {"a folder in the phrase file's place", L"", path_, false, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.folder.empty()) {
            DeleteFileW(c.folder.c_str());
            ASSERT_TRUE(CreateDirectoryW(c.folder.c_str(), nullptr));
        } else {
            held = CreateFileW(c.held.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        letGo = false;
        std::atomic<bool> answered = false;
        std::thread sender([&] {
            SendMessageW(window, WM_APP, 0, 0);
            answered = true;
        });
        const auto sent = [] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; };
        for (int i = 0; i < 10000 && !sent(); ++i) Sleep(1);  // waiting to be answered
        if (c.read) {
            EXPECT_NO_THROW(EXPECT_EQ(file->ReadAll(Hold::Wait), "old\r\n"));
        } else if (c.waits) {
            EXPECT_NO_THROW(file->ReplaceAll("new\r\n"));
        } else {
            EXPECT_ANY_THROW(file->ReplaceAll("new\r\n"));
        }
        EXPECT_EQ(letGo, c.waits) << "the message was answered during the call, or not";
        while (!answered) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        sender.join();
        if (!c.folder.empty()) RemoveDirectoryW(c.folder.c_str());
        EXPECT_EQ(file->ReadAll(Hold::Fail), c.after ? std::optional<std::string>(c.after) : std::nullopt);
        file->ReplaceAll("old\r\n");
    }
    EXPECT_FALSE(TempLeft());
    DestroyWindow(window);
}

}  // namespace
}  // namespace qh::win
