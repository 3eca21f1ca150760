#include "model.h"
#include "disk_file.h"

#include <gtest/gtest.h>

#include <random>

#include "memory_file.h"
#include "reporters.h"
#include "scratch_folder.h"
#include "text.h"

namespace qh {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;

std::vector<std::string> Entries(const History& h) {
    std::vector<std::string> v;
    for (std::size_t i = 0; i < h.Count(); ++i) v.push_back(h.Entry(i));
    return v;
}

TEST(History, KeepsTheNewestDistinctTextsFirst) {
    History h;
    h.CaptureClipboardText("A");
    h.CaptureClipboardText("B");
    h.CaptureClipboardText("A");
    EXPECT_EQ(Entries(h), (std::vector<std::string>{"A", "B"}));
    h.CaptureClipboardText("A");
    EXPECT_EQ(h.Count(), 2u);
    h.CaptureClipboardText("b");  // case matters
    h.CaptureClipboardText("");   // an empty text is an entry too
    EXPECT_EQ(Entries(h), (std::vector<std::string>{"", "b", "A", "B"}));
    h.CaptureClipboardText("B");  // the oldest moves to the top
    EXPECT_EQ(Entries(h), (std::vector<std::string>{"B", "", "b", "A"}));
}

TEST(History, HoldsAtMostThirtyEntries) {
    History h;
    for (int i = 0; i < 31; ++i) h.CaptureClipboardText("text " + std::to_string(i));
    ASSERT_EQ(h.Count(), History::MaxHistory);
    EXPECT_EQ(h.Entry(0), "text 30");
    EXPECT_EQ(h.Entry(29), "text 1");
    h.Delete(0);
    EXPECT_EQ(h.Entry(0), "text 29");
    h.Delete(99);  // out of range: nothing happens
    EXPECT_EQ(h.Count(), 29u);
    h.Clear();
    EXPECT_EQ(h.Count(), 0u);
}

TEST(History, StoresEscapedAndGivesBackTheCopiedText) {
    History h;
    const std::string texts[] = {"a\r\nb", "x\ty", "C:\\temp", std::string(1 << 20, '\\')};
    for (const std::string& t : texts) h.CaptureClipboardText(t);
    EXPECT_EQ(h.Entry(3), "a\\r\\nb");
    EXPECT_EQ(h.Entry(2), "x\ty");
    EXPECT_EQ(h.Entry(1), "C:\\\\temp");
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(h.TextAt(i), texts[3 - i]);
    EXPECT_EQ(MenuCaptionOf(h.Entry(3)), "a\r\nb");
}

class PhraseFile : public ::testing::Test {
protected:
    void Write(std::string_view bytes) { folder_.WritePhraseFile(bytes); }
    std::optional<std::string> Read() const { return folder_.PhraseFileBytes(); }

    test::ScratchFolder folder_{"qh-model"};
    const fs::path dir_ = folder_.Path(), file_ = folder_.PhraseFile();
    test::RecordingReporter reporter_;
};

TEST_F(PhraseFile, MissingFileGivesAnEmptyStoreSilently) {
    TTypeMsg store(OpenPhraseFile(file_), reporter_);
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_TRUE(reporter_.messages.empty());
}

TEST_F(PhraseFile, ReadsLinesAtEveryKindOfLineBreak) {
    for (const char* bytes : {"a\tA\r\nb\tB\r\nc\tC\r\n", "a\tA\nb\tB\nc\tC\n", "a\tA\rb\tB\r\nc\tC"}) {
        Write(bytes);
        TTypeMsg store(OpenPhraseFile(file_), reporter_);
        EXPECT_EQ(store.Captions(), (std::vector<std::string>{"a", "b", "c"})) << bytes;
        EXPECT_EQ(store.Contents(), (std::vector<std::string>{"A", "B", "C"})) << bytes;
    }
    EXPECT_TRUE(reporter_.messages.empty());
}

TEST_F(PhraseFile, KeepsWhatTheLineRulesSay) {
    Write("  greeting \t Hello\\r\\nWorld \r\nabc\r\n\r\nx\ty\tz\r\n\n  \r\nend\0ignored\r\nmore"sv);
    TTypeMsg store(OpenPhraseFile(file_), reporter_);
    EXPECT_EQ(store.Lines(), (std::vector<std::string>{"  greeting \t Hello\\r\\nWorld ", "abc", "",
                                                       "x\ty\tz", "", "  ", "end"}));
    EXPECT_EQ(store.Captions(), (std::vector<std::string>{"greeting", "abc", "", "x", "", "", "end"}));
    EXPECT_EQ(store.Contents(), (std::vector<std::string>{"Hello\\r\\nWorld", "abc", "", "y", "", "", "end"}));
    EXPECT_EQ(UnescapeText(store.Contents()[0]), "Hello\r\nWorld");
    EXPECT_EQ(store.CaptionCount(), store.Count());
}

TEST_F(PhraseFile, SaveWritesCrLfAfterEveryLineAndLoadsBack) {
    TTypeMsg store(OpenPhraseFile(file_), reporter_);
    store.SetLines({"cap\tHello\\r\\nWorld", "\x95\x5C\t\x83\x5C\\\\"});
    store.Save();
    EXPECT_EQ(Read(), "cap\tHello\\r\\nWorld\r\n\x95\x5C\t\x83\x5C\\\\\r\n");
    TTypeMsg again(OpenPhraseFile(file_), reporter_);
    EXPECT_EQ(again.Captions(), store.Captions());
    EXPECT_EQ(again.Contents(), store.Contents());

    // ANSI bytes that an editor would read as UTF-16 are saved as UTF-8.
    store.SetLines({"\xFF\xFE" "a\tb"});
    store.Save();
    EXPECT_EQ(TTypeMsg(OpenPhraseFile(file_), reporter_).Lines(), store.Lines());

    store.SetLines({});
    store.Save();
    EXPECT_EQ(fs::file_size(file_), 0u);
    again.Load();
    EXPECT_EQ(again.Count(), 0u);
    EXPECT_TRUE(reporter_.messages.empty());
    EXPECT_FALSE(fs::exists(dir_ / "TypeMsg.cfg.tmp"));
}

TEST_F(PhraseFile, SaveAndLoadRoundTripWhatTheDialogProduces) {
    std::mt19937 rng(7);
    const std::string alphabet = "ab \\\t\r\n\x82\xA0\x95\x5C";
    const auto random = [&] {
        std::string s(rng() % 12, ' ');
        for (char& c : s) c = alphabet[rng() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> lines, captions, contents;
        for (int i = rng() % 5; i > 0; --i) {
            std::string caption = Trim(random());
            for (char& c : caption)
                if (c == '\t' || c == '\r' || c == '\n') c = ' ';
            std::string content = EscapePhraseText(ReplaceAll(ReplaceAll(random(), "\r", ""), "\n", "\r\n"));
            lines.push_back(caption + "\t" + content);
            captions.push_back(Trim(caption));
            contents.push_back(Trim(content));
        }
        TTypeMsg store(OpenPhraseFile(file_), reporter_);
        store.SetLines(lines);
        store.Save();
        TTypeMsg again(OpenPhraseFile(file_), reporter_);
        ASSERT_EQ(again.Captions(), captions);
        ASSERT_EQ(again.Contents(), contents);
    }
    EXPECT_TRUE(reporter_.messages.empty());
}

TEST_F(PhraseFile, AFailedSaveKeepsTheOldFileAndReports) {
    Write("old\tphrase\r\n");
    TTypeMsg store(OpenPhraseFile(file_), reporter_);
    store.SetLines({"new\tphrase"});
    fs::remove(file_);
    fs::create_directory(file_);  // a folder where the file belongs
    store.Save();
    ASSERT_EQ(reporter_.messages, std::vector<std::string>{std::string(SaveFailedMessage)});
    EXPECT_TRUE(fs::is_directory(file_));
    EXPECT_FALSE(fs::exists(dir_ / "TypeMsg.cfg.tmp"));
    EXPECT_EQ(store.Captions(), std::vector<std::string>{"new"});  // kept for the run

    TTypeMsg elsewhere(OpenPhraseFile(dir_ / "missing-folder" / "TypeMsg.cfg"), reporter_);
    elsewhere.SetLines({"a\tb"});
    elsewhere.Save();
    EXPECT_EQ(reporter_.messages.size(), 2u);
}

TEST_F(PhraseFile, AFolderInPlaceOfTheFileCannotBeRead) {
    fs::create_directory(file_);
    TTypeMsg store(OpenPhraseFile(file_), reporter_);
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_EQ(reporter_.messages, std::vector<std::string>{std::string(LoadFailedMessage)});
}

TEST_F(PhraseFile, HugeAndOddFilesLoadWithoutHarm) {
    std::string bytes;
    for (int i = 0; i < 100000; ++i) bytes.append("c").append(std::to_string(i)).append("\tv\n");
    bytes += std::string(3 << 20, 'x');
    Write(bytes);
    TTypeMsg store(OpenPhraseFile(file_), reporter_);
    EXPECT_EQ(store.Count(), 100001u);
    EXPECT_EQ(store.Captions()[99999], "c99999");
    EXPECT_EQ(store.Contents().back().size(), 3u << 20);
}

// Another program edits the file between the store's looks (the menu's).
// Phrases a save could not write outlast them, and the next save keeps
// each version it replaces beside it, once; never the store's own.
TEST(PhraseStore, FollowsOutsideEditsButNeverOverPhrasesASaveCouldNotWrite) {
    std::optional<std::string> file = "a\tA\r\n";
    test::Access access;
    auto owned = std::make_unique<test::MemoryFile>(file, access);
    const auto& beside = owned->beside;
    test::RecordingReporter reporter;
    TTypeMsg store(std::move(owned), reporter);
    const auto captions = [&] { return store.Refresh(), store.Captions(); };
    const TTypeMsg::FileVersion basis = store.Version();  // the dialog opens
    file = "b\tB\r\n";
    EXPECT_EQ(captions(), std::vector<std::string>{"b"});
    access.read = false;  // OK while the file is held
    store.SetLines({"mine\tM"});
    store.Save(basis);
    access = {true, false};  // then read-only
    file = "z\tZ\r\n";
    EXPECT_EQ(captions(), std::vector<std::string>{"mine"});
    store.Save(store.Version());  // keeps "z", then fails
    access.write = true;
    store.Save(store.Version());
    EXPECT_EQ(file, "mine\tM\r\n");
    EXPECT_EQ(beside.size(), 1u);
    EXPECT_EQ(reporter.messages.size(), 3u);  // failed; kept, failed
    file = "c\tC\r\n";
    EXPECT_EQ(captions(), std::vector<std::string>{"c"});
    store.SetLines({"c\tC", "d\tD"});
    store.Save();
    access.read = false;  // the look before the dialog fails
    store.Refresh();
    access.read = true;
    store.SetLines({"c\tC"});
    store.Save(store.Version());
    EXPECT_EQ(beside.size(), 1u);
}

}  // namespace
}  // namespace qh
