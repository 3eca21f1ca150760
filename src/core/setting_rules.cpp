#include "setting_rules.h"

#include "model.h"

namespace qh {

std::string CleanCaption(std::string_view typed) {
    std::string caption(typed);
    // Trail bytes of the double-byte code pages start at 0x40, so these
    // three bytes are always characters of their own.
    for (char& c : caption)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return Trim(caption);
}

std::string NormalizeLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            ++i;
        } else if (c == '\r' || c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

std::u16string CleanCaption(std::u16string_view typed) {
    std::u16string caption(typed);
    for (char16_t& c : caption)
        if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
    return Trim(caption);
}

std::u16string NormalizeLineBreaks(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n') {
            out += u"\r\n";
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::optional<PhraseRow> MakeRow(std::string_view capText, std::string_view memoText) {
    if (Trim(capText).empty() || Trim(memoText).empty()) return std::nullopt;
    // The caption is escaped as the content is: it is read back unescaped.
    return PhraseRow{EscapePhraseText(CleanCaption(capText)), EscapePhraseText(NormalizeLineBreaks(memoText)), {},
                     {}};
}

std::optional<PhraseRow> MakeRow(std::u16string_view capText, std::u16string_view memoText,
                                 const AnsiCodePage& codePage) {
    if (Trim(capText).empty() || Trim(memoText).empty()) return std::nullopt;
    ExactText caption = FromExact(CleanCaption(capText), codePage);
    // Whether the content fits is a matter of its text; the ANSI form is
    // escaped by the byte rules, as for a row typed in ANSI.
    ExactText content = FromExact(NormalizeLineBreaks(memoText), codePage);
    PhraseRow row{EscapePhraseText(caption.ansi), EscapePhraseText(content.ansi), {}, {}};
    if (caption.exact) row.exactCaption = EscapePhraseText(*caption.exact);
    if (content.exact) row.exactContent = EscapePhraseText(*content.exact);
    return row;
}

std::string FileLine(const PhraseRow& row) { return row.caption + '\t' + row.content; }

SettingRows::SettingRows(const TTypeMsg& store) : codePage_(&store.Ansi()) {
    const auto& captions = store.Captions();
    const auto& contents = store.Contents();
    const auto& exactCaptions = store.ExactCaptions();
    const auto& exactContents = store.ExactContents();
    rows_.reserve(captions.size());
    for (std::size_t i = 0; i < captions.size(); ++i) {
        const bool content = i < contents.size();
        rows_.push_back({captions[i], content ? contents[i] : std::string(), exactCaptions[i],
                         content ? exactContents[i] : std::nullopt});
    }
}

bool SettingRows::Add(std::string_view capText, std::string_view memoText) {
    auto row = MakeRow(capText, memoText);
    if (!row || rows_.size() >= MaxPhrases) return false;
    rows_.push_back(std::move(*row));
    return true;
}

bool SettingRows::Change(std::optional<std::size_t> selected, std::string_view capText,
                         std::string_view memoText) {
    auto row = MakeRow(capText, memoText);
    if (!row || !selected || *selected >= rows_.size()) return false;
    rows_[*selected] = std::move(*row);
    return true;
}

bool SettingRows::Add(std::u16string_view capText, std::u16string_view memoText) {
    auto row = MakeRow(capText, memoText, *codePage_);
    if (!row || rows_.size() >= MaxPhrases) return false;
    rows_.push_back(std::move(*row));
    return true;
}

bool SettingRows::Change(std::optional<std::size_t> selected, std::u16string_view capText,
                         std::u16string_view memoText) {
    auto row = MakeRow(capText, memoText, *codePage_);
    if (!row || !selected || *selected >= rows_.size()) return false;
    rows_[*selected] = std::move(*row);
    return true;
}

bool SettingRows::Delete(std::optional<std::size_t> selected) {
    if (!selected || *selected >= rows_.size()) return false;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(*selected));
    return true;
}

std::vector<std::string> SettingRows::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(rows_.size());
    for (const PhraseRow& row : rows_) lines.push_back(FileLine(row));
    return lines;
}

std::vector<ExactText> SettingRows::ExactLines() const {
    std::vector<ExactText> lines;
    lines.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const PhraseRow& row = rows_[i];
        ExactText line{FileLine(row), std::nullopt};
        // The UTF-8 file escapes characters, whatever form a field came in.
        if (row.exactCaption || row.exactContent)
            line.exact = EscapePhraseText(CaptionText(i)) + u'\t' + EscapePhraseText(ContentText(i));
        lines.push_back(std::move(line));
    }
    return lines;
}

namespace {

// A 0x5C trail byte is a backslash to the byte escapes, so the bytes are
// decoded before they become characters, never after.
std::u16string FieldText(const std::optional<std::u16string>& exact, std::string_view stored,
                         const AnsiCodePage& codePage) {
    return exact ? UnescapeText(*exact) : codePage.ToUtf16(UnescapeText(stored));
}

}  // namespace

std::u16string SettingRows::CaptionText(std::size_t index) const {
    const PhraseRow& row = rows_.at(index);
    return FieldText(row.exactCaption, row.caption, *codePage_);
}

std::u16string SettingRows::ContentText(std::size_t index) const {
    const PhraseRow& row = rows_.at(index);
    return FieldText(row.exactContent, row.content, *codePage_);
}

std::u16string SettingRows::ListCaption(std::size_t index) const { return EscapePhraseText(CaptionText(index)); }

std::u16string SettingRows::ListContent(std::size_t index) const { return EscapePhraseText(ContentText(index)); }

std::size_t FitInsertion(std::string_view insertion, std::size_t textBytes,
                         std::size_t replacedBytes, const CodePage& codePage, std::size_t limit) {
    const std::size_t kept = textBytes > replacedBytes ? textBytes - replacedBytes : 0;
    const std::size_t room = limit > kept ? limit - kept : 0;
    std::size_t fit = codePage.BoundaryAtOrBefore(insertion, room);
    // A line break typed or pasted stays whole.
    if (fit > 0 && fit < insertion.size() && insertion[fit - 1] == '\r' && insertion[fit] == '\n')
        --fit;
    return fit;
}


std::size_t FitInsertion(std::u16string_view insertion, std::size_t textWidth,
                         std::size_t replacedWidth, std::size_t limit) {
    const std::size_t kept = textWidth > replacedWidth ? textWidth - replacedWidth : 0;
    const std::size_t room = limit > kept ? limit - kept : 0;
    std::size_t fit = WidthBoundaryAtOrBefore(insertion, room);
    // A line break typed or pasted stays whole.
    if (fit > 0 && fit < insertion.size() && insertion[fit - 1] == u'\r' && insertion[fit] == u'\n')
        --fit;
    return fit;
}

}  // namespace qh
