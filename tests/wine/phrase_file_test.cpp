// The phrase file through the system's file calls, as the program uses it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform.h"

namespace qh::win {
namespace {

class SystemFile : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir_ = std::wstring(temp) + L"qh-file-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(dir_.c_str(), nullptr);
        path_ = dir_ + L"TypeMsg.cfg";
    }
    void TearDown() override {
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path_.c_str());
        RemoveDirectoryW(path_.c_str());
        DeleteFileW((path_ + L".tmp").c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    bool TempLeft() const { return GetFileAttributesW((path_ + L".tmp").c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::wstring dir_, path_;
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
