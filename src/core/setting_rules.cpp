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

std::optional<PhraseRow> MakeRow(std::string_view capText, std::string_view memoText) {
    if (Trim(capText).empty() || Trim(memoText).empty()) return std::nullopt;
    return PhraseRow{CleanCaption(capText), EscapePhraseText(NormalizeLineBreaks(memoText))};
}

std::string FileLine(const PhraseRow& row) { return row.caption + '\t' + row.content; }

SettingRows::SettingRows(const TTypeMsg& store) {
    const auto& captions = store.Captions();
    const auto& contents = store.Contents();
    rows_.reserve(captions.size());
    for (std::size_t i = 0; i < captions.size(); ++i)
        rows_.push_back({captions[i], i < contents.size() ? contents[i] : std::string()});
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

}  // namespace qh
