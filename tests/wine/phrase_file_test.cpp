// The phrase file through the system's file calls, as the program uses it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>

#include "platform.h"
#include "scratch_folder.h"

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
    EXPECT_FALSE(file->ReadAll().has_value());
    const std::string bytes("a\tb\r\n\x95\x5C\0z\r\n", 10);
    file->ReplaceAll(bytes);
    EXPECT_EQ(file->ReadAll(), bytes);
    file->ReplaceAll("");
    EXPECT_EQ(file->ReadAll(), "");
    EXPECT_FALSE(TempLeft());
}

TEST_F(SystemFile, AFailedReplaceLeavesTheOldFileWhole) {
    const auto file = OpenPhraseFile(path_);
    file->ReplaceAll("old\r\n");
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_ANY_THROW(file->ReplaceAll("new\r\n"));
    EXPECT_EQ(file->ReadAll(), "old\r\n");
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
    EXPECT_EQ(file->ReadAll(), "new\r\n");

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
    EXPECT_EQ(file->ReadAll(), "new\r\n");
    EXPECT_FALSE(TempLeft());
}

TEST_F(SystemFile, AFolderInPlaceOfTheFileCannotBeReadOrReplaced) {
    CreateDirectoryW(path_.c_str(), nullptr);
    const auto file = OpenPhraseFile(path_);
    EXPECT_ANY_THROW(file->ReadAll());
    EXPECT_ANY_THROW(file->ReplaceAll("x\r\n"));
    EXPECT_FALSE(TempLeft());
    EXPECT_ANY_THROW(OpenPhraseFile(dir_ + L"no-such-folder\\TypeMsg.cfg")->ReplaceAll("x"));
}

}  // namespace
}  // namespace qh::win
