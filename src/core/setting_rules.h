// The settings dialog's own list of phrases and its rules, free of any
// window: what an add or change makes of the typed fields, when the buttons
// refuse, the lines OK hands to the store, and how much a typed or pasted
// text may add to the content field.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"
#include "unicode.h"

namespace qh {

class TTypeMsg;

// Rows the dialog lets the user add; more may come from a hand-edited file.
inline constexpr std::size_t MaxPhrases = 30;
// Bytes the user may bring into the content field by typing or pasting: ANSI
// bytes, or for UTF-16 text its width by the width measure (unicode.h).
inline constexpr std::size_t MemoMaxBytes = 10240;

// One row of the list: the caption and the content in their stored form
// (EscapePhraseText), in ANSI bytes, each with its exact form where the
// bytes cannot give it back.
struct PhraseRow {
    std::string caption;
    std::string content;
    std::optional<std::u16string> exactCaption = std::nullopt;
    std::optional<std::u16string> exactContent = std::nullopt;  // in its stored form too
    bool operator==(const PhraseRow&) const = default;
};

// A caption is one line of the file and ends at its TAB: every TAB, CR and
// LF becomes one space, then the ends are trimmed.
std::string CleanCaption(std::string_view typed);

// The file cuts a line at any CR or LF, and the escape covers only CR LF
// pairs, so a lone CR or lone LF becomes CR LF.
std::string NormalizeLineBreaks(std::string_view text);

// The row an add or change makes of the two fields (ANSI bytes), or nothing
// when either field is blank after Trim.
std::optional<PhraseRow> MakeRow(std::string_view capText, std::string_view memoText);
// The same from UTF-16 fields: a field the code page holds gives exactly the
// row its ANSI bytes give; one it cannot hold keeps its exact form too.
std::optional<PhraseRow> MakeRow(std::u16string_view capText, std::u16string_view memoText,
                                 const AnsiCodePage& codePage);

// The file line of a row: caption, TAB, stored content.
std::string FileLine(const PhraseRow& row);

// The dialog's list: a copy of the store's phrases that only OK hands back.
// Every edit returns false, changing nothing, when its input is refused.
class SettingRows {
public:
    SettingRows() = default;
    // Rows from the store's phrases, converting with the store's code page.
    explicit SettingRows(const TTypeMsg& store);

    bool Add(std::string_view capText, std::string_view memoText);
    bool Change(std::optional<std::size_t> selected, std::string_view capText,
                std::string_view memoText);
    bool Add(std::u16string_view capText, std::u16string_view memoText);
    bool Change(std::optional<std::size_t> selected, std::u16string_view capText,
                std::u16string_view memoText);
    bool Delete(std::optional<std::size_t> selected);
    void Clear() { rows_.clear(); }

    std::size_t Count() const { return rows_.size(); }
    const PhraseRow& Row(std::size_t index) const { return rows_.at(index); }
    const std::vector<PhraseRow>& Rows() const { return rows_; }
    // What OK hands to the store: ANSI lines only, or with exact forms.
    std::vector<std::string> Lines() const;
    std::vector<ExactText> ExactLines() const;
    // A row's fields as typed: the escapes undone in the form they were made
    // in (on the ANSI bytes, or on the characters of an exact form), then
    // widened.
    std::u16string CaptionText(std::size_t index) const;
    std::u16string ContentText(std::size_t index) const;
    // What the list shows of a row: the typed text with its line breaks,
    // TABs and backslashes escaped character by character.
    std::u16string ListCaption(std::size_t index) const;
    std::u16string ListContent(std::size_t index) const;

private:
    std::vector<PhraseRow> rows_;
    const AnsiCodePage* codePage_ = &Latin1CodePage();
};

// How many bytes of `insertion` may go into a text of `textBytes` bytes
// when it replaces `replacedBytes` of them, so that the result stays within
// `limit`. The cut never splits a double-byte character or a CR LF pair.
// A text already over the limit (set by the program) takes nothing more.
std::size_t FitInsertion(std::string_view insertion, std::size_t textBytes,
                         std::size_t replacedBytes, const CodePage& codePage,
                         std::size_t limit = MemoMaxBytes);
// The same over UTF-16, measured by width: how many UTF-16 units of
// `insertion` may go into a text of width `textWidth` when it replaces a part
// of width `replacedWidth`. The cut never splits a surrogate pair or CR LF.
std::size_t FitInsertion(std::u16string_view insertion, std::size_t textWidth,
                         std::size_t replacedWidth, std::size_t limit = MemoMaxBytes);

}  // namespace qh
