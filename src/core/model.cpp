#include "model.h"

#include <algorithm>

#include "text.h"

namespace qh {

void History::CaptureClipboardText(std::string_view text) {
    std::string stored = EscapeHistoryText(text);
    const auto same = std::find(entries_.begin(), entries_.end(), stored);
    if (same != entries_.end()) {
        // Already present: only moves to the top.
        std::rotate(entries_.begin(), same, same + 1);
        *entries_.begin() = std::move(stored);
        return;
    }
    entries_.insert(entries_.begin(), std::move(stored));
    if (entries_.size() > MaxHistory) entries_.pop_back();
}

void History::Clear() { entries_.clear(); }

void History::Delete(std::size_t index) {
    if (index < entries_.size()) entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string History::TextAt(std::size_t index) const { return UnescapeText(Entry(index)); }

std::vector<std::string> SplitLines(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < bytes.size()) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n", from), bytes.size());
        lines.emplace_back(bytes.substr(from, end - from));
        if (end == bytes.size()) break;
        const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
        from = end + (crlf ? 2 : 1);
    }
    return lines;
}

TTypeMsg::TTypeMsg(std::unique_ptr<PhraseFile> file, Reporter& reporter)
    : file_(std::move(file)), reporter_(reporter) {
    Load();
}

void TTypeMsg::Load() {
    try {
        const std::optional<std::string> bytes = file_->ReadAll();
        if (!bytes) return;  // no file yet: nothing to report
        lines_ = SplitLines(*bytes);
        Parse();
    } catch (const std::exception&) {
        reporter_.Inform(LoadFailedMessage);
    }
}

void TTypeMsg::Save() {
    try {
        std::string bytes;
        std::size_t size = 0;
        for (const std::string& line : lines_) size += line.size() + 2;
        bytes.reserve(size);
        for (const std::string& line : lines_) bytes.append(line).append("\r\n");
        file_->ReplaceAll(bytes);
    } catch (const std::exception&) {
        reporter_.Inform(SaveFailedMessage);
    }
}

void TTypeMsg::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    Parse();
}

void TTypeMsg::DeleteLine(std::size_t index) {
    if (index < lines_.size()) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TTypeMsg::Parse() {
    captions_.clear();
    contents_.clear();
    captions_.reserve(lines_.size());
    contents_.reserve(lines_.size());
    for (const std::string& line : lines_) {
        captions_.push_back(GetField(line, 1));
        contents_.push_back(GetField(line, 2));
    }
}

}  // namespace qh
