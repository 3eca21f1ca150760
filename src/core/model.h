// The clipboard history and the phrase store with its file "TypeMsg.cfg".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "unicode.h"

namespace qh {

// The newest distinct copied texts, newest first, in the history's escaped
// form (EscapeHistoryText).
class History {
public:
    static constexpr std::size_t MaxHistory = 30;

    // Records a text just read from the clipboard: it moves to the top,
    // an equal older entry goes, and the 31st entry is dropped.
    void CaptureClipboardText(std::string_view text);
    // The same with the exact form where the ANSI bytes lose characters.
    // Two copies are one entry when their exact texts are equal: equal bytes
    // without exact forms, or equal exact forms ("naïve" is not "na?ve").
    // `localOnly`: the copying program allowed the text in local histories
    // but not in one synchronised to other devices; the newest copy's wish holds.
    void CaptureClipboardText(ExactText text, bool localOnly = false);
    void Clear();
    void Delete(std::size_t index);

    std::size_t Count() const { return items_.size(); }
    const std::string& Entry(std::size_t index) const { return items_.at(index).stored; }
    // The exact text (raw, unescaped) when the ANSI bytes cannot give it back.
    const std::optional<std::u16string>& Exact(std::size_t index) const { return items_.at(index).exact; }
    bool LocalOnly(std::size_t index) const { return items_.at(index).localOnly; }
    // The ANSI bytes choosing the entry puts back on the clipboard.
    std::string TextAt(std::size_t index) const;

private:
    struct Item {
        std::string stored;
        std::optional<std::u16string> exact;
        bool localOnly = false;
    };
    void Record(Item item);

    // One vector, so that a capture that runs out of memory changes nothing.
    std::vector<Item> items_;
};

// Where the phrase store reports load and save failures. The Windows layer
// shows the message (UTF-8) in an information box.
class Reporter {
public:
    virtual void Inform(std::string_view utf8Message) = 0;

protected:
    ~Reporter() = default;
};

inline constexpr std::string_view PhraseFileName = "TypeMsg.cfg";
inline constexpr std::string_view LoadFailedMessage = "設定の読み込みに失敗しました。";
inline constexpr std::string_view SaveFailedMessage = "設定の保存に失敗しました。";
// The other program's version of the file, kept when a save would replace it.
inline constexpr std::string_view OutsideVersionName = "TypeMsg-外部変更";
// The message about it; the name goes between the brackets.
inline constexpr std::string_view OutsideVersionKeptBefore =
    "設定ファイルがほかのプログラムで変更されていたため、その内容を「";
inline constexpr std::string_view OutsideVersionKeptAfter = "」として残しました。";

// What a read does when another program holds the file for a moment, as a
// scanner does after a change: fail at once, or wait for it as a write does.
enum class Hold { Fail, Wait };

// The phrase file on disk. The program reaches it through the system's own
// file calls; tests and tools use DiskPhraseFile (disk_file.h).
class PhraseFile {
public:
    virtual ~PhraseFile() = default;
    // The whole file, or nothing when there is no file. Throws when it
    // exists but cannot be read.
    virtual std::optional<std::string> ReadAll(Hold hold) const = 0;
    // Replaces the file by `bytes` in one step. Throws on failure, and the
    // previous file then stays whole.
    virtual void ReplaceAll(std::string_view bytes) = 0;
    // Writes `bytes` as a new file named `utf8Name` beside this one. False
    // when a file of that name exists; throws on other failures.
    virtual bool CreateBeside(std::string_view utf8Name, std::string_view bytes) = 0;
};

// Cuts file contents into lines at CR LF, lone CR and lone LF. A NUL ends
// the text; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view bytes);

// The phrases: file lines, and per line its caption (field 1) and its
// content (field 2, still in EscapePhraseText form). Each also has an exact
// form, set only where the ANSI bytes cannot give the text back.
//
// The file is in the ANSI code page, as it always was, while every phrase
// fits it (and its bytes cannot be taken for UTF-8 text); otherwise the
// whole file is UTF-8 after a byte order mark. On
// reading, the mark decides (a UTF-16 one too, as editors offer it); a file
// without one is UTF-8 too when it is UTF-8 text (IsMultiByteUtf8), as
// editors save it. The ANSI file's escapes are bytes, the others' are
// characters.
class TTypeMsg {
public:
    // A version of the file: a hash of its bytes, nothing when there was no
    // file. Another program's change is judged by the bytes alone: a file
    // system may keep the time and size of an edit (FAT's 2-second steps, a
    // network client's cache of attributes).
    struct FileVersion {
        std::optional<std::uint64_t> hash;
        bool operator==(const FileVersion&) const = default;
    };

    // The store loads the file at once. `codePage` must outlive the store.
    TTypeMsg(std::unique_ptr<PhraseFile> file, Reporter& reporter,
             const AnsiCodePage& codePage = Latin1CodePage());

    // Reads the file, whatever the store held, waiting for a moment's hold
    // as a save does.
    void Load();
    // Loads the file again when its bytes are no longer the version the
    // store last read or wrote: another program changed it. Silent and
    // without waiting: a file that cannot be read now keeps the phrases, and
    // the next call tries again. Phrases a save failed to write are never
    // replaced: they stay until a save writes them.
    void Refresh();
    // Writes the phrases. When the file on disk is no longer the version the
    // phrases were edited from (`basis`), another program changed it: its
    // version is kept beside it under OutsideVersionName, and the user told.
    void Save();
    void Save(const FileVersion& basis);
    // The version the phrases were edited from: the file as the store last
    // read or wrote it, or, while a save has failed, the failed save's basis.
    const FileVersion& Version() const { return version_; }
    void SetLines(std::vector<std::string> lines);
    void SetExactLines(std::vector<ExactText> lines);
    // Drops a line but leaves Captions and Contents as they are; the menu
    // uses it for a phrase it cannot show.
    void DeleteLine(std::size_t index);

    std::size_t Count() const { return lines_.size(); }
    std::size_t CaptionCount() const { return captions_.size(); }
    const std::vector<std::string>& Lines() const { return lines_; }
    const std::vector<std::string>& Captions() const { return captions_; }
    const std::vector<std::string>& Contents() const { return contents_; }
    // Parallel to Lines, Captions and Contents.
    const std::vector<std::optional<std::u16string>>& ExactLines() const { return exactLines_; }
    const std::vector<std::optional<std::u16string>>& ExactCaptions() const { return exactCaptions_; }
    const std::vector<std::optional<std::u16string>>& ExactContents() const { return exactContents_; }
    const AnsiCodePage& Ansi() const { return codePage_; }

private:
    void Read(const std::optional<std::string>& bytes);
    std::string Encode() const;
    void Parse();
    std::string KeepOutsideVersion(std::string_view bytes);
    void InformKept(const std::string& name);

    std::unique_ptr<PhraseFile> file_;
    Reporter& reporter_;
    const AnsiCodePage& codePage_;
    std::vector<std::string> lines_, captions_, contents_;
    std::vector<std::optional<std::u16string>> exactLines_, exactCaptions_, exactContents_;
    FileVersion version_;
    bool unsaved_ = false;  // a save failed: the phrases are not in the file
};

}  // namespace qh
