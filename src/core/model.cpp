#include "model.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <system_error>

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

TTypeMsg::TTypeMsg(std::filesystem::path file, Reporter& reporter)
    : file_(std::move(file)), reporter_(reporter) {
    Load();
}

void TTypeMsg::Load() {
    try {
        std::error_code ec;
        const auto status = std::filesystem::status(file_, ec);
        if (status.type() == std::filesystem::file_type::not_found) return;
        if (ec || status.type() != std::filesystem::file_type::regular)
            throw std::runtime_error("phrase file cannot be read");

        std::ifstream in(file_, std::ios::binary);
        if (!in) throw std::runtime_error("phrase file cannot be opened");
        // Read in one block: a phrase file may be large, and is read three
        // times at start-up.
        std::string bytes;
        bytes.resize(static_cast<std::size_t>(std::filesystem::file_size(file_)));
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        if (in.bad()) throw std::runtime_error("phrase file cannot be read");

        lines_ = SplitLines(bytes);
        Parse();
    } catch (const std::exception&) {
        reporter_.Inform(LoadFailedMessage);
    }
}

void TTypeMsg::Save() {
    std::filesystem::path temp = file_;
    temp += ".tmp";
    try {
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            if (!out) throw std::runtime_error("temporary phrase file cannot be created");
            for (const std::string& line : lines_) {
                out.write(line.data(), static_cast<std::streamsize>(line.size()));
                out.write("\r\n", 2);
            }
            out.close();
            if (!out) throw std::runtime_error("phrase file cannot be written");
        }
        // The old file stays whole until the new one is complete.
        std::filesystem::rename(temp, file_);
    } catch (const std::exception&) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
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
