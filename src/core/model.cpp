#include "model.h"

#include <algorithm>
#include <stdexcept>

#include "text.h"

namespace qh {

namespace {

// A field of a UTF-8 line, whose escapes are characters: its ANSI form,
// escaped by the byte rules, and the field itself where those bytes lose
// characters of its text.
struct Field {
    std::string ansi;
    std::optional<std::u16string> exact;
};

Field FieldOfText(std::u16string stored, const AnsiCodePage& codePage) {
    const std::u16string text = UnescapeText(stored);
    const std::string ansi = codePage.FromUtf16(text);
    const bool fits = codePage.ToUtf16(ansi) == text;
    return {EscapePhraseText(ansi), fits ? std::nullopt : std::optional(std::move(stored))};
}

// An ANSI line as a line of the UTF-8 file: each field decoded on its bytes,
// widened, and escaped again as characters.
std::u16string LineAsText(std::string_view line, const AnsiCodePage& codePage) {
    const auto field = [&](int n) { return EscapePhraseText(codePage.ToUtf16(UnescapeText(GetField(line, n)))); };
    return field(1) + u'\t' + field(2);
}

std::uint64_t Hash(std::string_view bytes) {
    std::uint64_t hash = 0xCBF29CE484222325;  // FNV-1a
    for (const char b : bytes) hash = (hash ^ static_cast<unsigned char>(b)) * 0x100000001B3;
    return hash;
}

TTypeMsg::FileVersion VersionOf(const std::optional<std::string>& bytes) {
    return bytes ? TTypeMsg::FileVersion{Hash(*bytes)} : TTypeMsg::FileVersion{};
}

}  // namespace

void History::CaptureClipboardText(std::string_view text) { Record({EscapeHistoryText(text), std::nullopt}); }

void History::CaptureClipboardText(ExactText text, bool localOnly) {
    Record({EscapeHistoryText(text.ansi), std::move(text.exact), localOnly});
}

void History::Record(Item item) {
    const auto same = std::find_if(items_.begin(), items_.end(), [&](const Item& old) {
        return old.exact == item.exact && (item.exact || old.stored == item.stored);
    });
    if (same != items_.end()) {
        // Already present: only moves to the top.
        std::rotate(items_.begin(), same, same + 1);
        items_.front() = std::move(item);
        return;
    }
    items_.insert(items_.begin(), std::move(item));
    if (items_.size() > MaxHistory) items_.pop_back();
}

void History::Clear() { items_.clear(); }

void History::Delete(std::size_t index) {
    if (index >= items_.size()) return;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
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

TTypeMsg::TTypeMsg(std::unique_ptr<PhraseFile> file, Reporter& reporter, const AnsiCodePage& codePage)
    : file_(std::move(file)), reporter_(reporter), codePage_(codePage) {
    Load();
}

void TTypeMsg::Load() {
    try {
        Read(file_->ReadAll(Hold::Wait));
        unsaved_ = false;
    } catch (const std::exception&) {
        reporter_.Inform(LoadFailedMessage);
    }
}

void TTypeMsg::Refresh() {
    if (unsaved_) return;
    try {
        const std::optional<std::string> bytes = file_->ReadAll(Hold::Fail);
        if (VersionOf(bytes) != version_) Read(bytes);
    } catch (const std::exception&) {
        // Held by another program, or in the middle of its save: the
        // phrases stay as they are until the next look.
    }
}

void TTypeMsg::Read(const std::optional<std::string>& bytes) {
    if (!bytes) {
        version_ = {};
        return;  // no file (yet, or any more): the phrases stay
    }
    // A file of characters, rather than of ANSI bytes: their escapes are characters.
    std::optional<std::u16string> text;
    if (bytes->starts_with(Utf8Bom))
        text = Utf8ToUtf16(std::string_view(*bytes).substr(Utf8Bom.size()));
    else if (bytes->starts_with(Utf16LeBom) || bytes->starts_with(Utf16BeBom))
        text = Utf16BytesToText(std::string_view(*bytes).substr(2), bytes->starts_with(Utf16BeBom));
    else if (IsMultiByteUtf8(*bytes))
        text = Utf8ToUtf16(*bytes);
    std::vector<std::string> lines;
    std::vector<std::optional<std::u16string>> exactLines;
    if (text) {
        for (std::u16string& line : SplitLines(*text)) {
            const Field caption = FieldOfText(GetField(line, 1), codePage_);
            const Field content = FieldOfText(GetField(line, 2), codePage_);
            lines.push_back(caption.ansi + '\t' + content.ansi);
            exactLines.push_back(caption.exact || content.exact ? std::optional(std::move(line)) : std::nullopt);
        }
    } else {
        lines = SplitLines(*bytes);
        exactLines.resize(lines.size());
    }
    lines_ = std::move(lines);
    exactLines_ = std::move(exactLines);
    Parse();
    version_ = VersionOf(bytes);
}

std::string TTypeMsg::Encode() const {
    std::string bytes;
    const auto exact = [](const std::optional<std::u16string>& line) { return line.has_value(); };
    const bool fits = std::none_of(exactLines_.begin(), exactLines_.end(), exact);
    if (fits) {
        // Every phrase fits the code page: the file as it always was.
        std::size_t size = 0;
        for (const std::string& line : lines_) size += line.size() + 2;
        bytes.reserve(size);
        for (const std::string& line : lines_) bytes.append(line).append("\r\n");
    }
    // Bytes that would read back as UTF-8 text of other characters, or as
    // UTF-16, are written as UTF-8 too (where the code page is UTF-8 they are
    // that text).
    const bool utf16 = bytes.starts_with(Utf16LeBom) || bytes.starts_with(Utf16BeBom);
    if (!fits || utf16 || (IsMultiByteUtf8(bytes) && Utf8ToUtf16(bytes) != codePage_.ToUtf16(bytes))) {
        bytes = Utf8Bom;
        for (std::size_t i = 0; i < lines_.size(); ++i)
            bytes.append(Utf16ToUtf8(exactLines_[i] ? *exactLines_[i] : LineAsText(lines_[i], codePage_)))
                .append("\r\n");
    }
    return bytes;
}

void TTypeMsg::Save() { Save(version_); }

void TTypeMsg::Save(const FileVersion& basis) {
    std::string bytes;
    std::optional<std::string> keptAs;
    FileVersion edited = basis;
    try {
        bytes = Encode();
        // Another program's version is kept before it is replaced; one that
        // cannot be read is not replaced.
        const std::optional<std::string> outside = file_->ReadAll(Hold::Wait);
        if (outside && *outside != bytes && VersionOf(outside) != basis) {
            keptAs = KeepOutsideVersion(*outside);
            edited = VersionOf(outside);  // kept: a later save need not keep it again
        }
        file_->ReplaceAll(bytes);
    } catch (const std::exception&) {
        // The phrases stay the truth for the rest of the run: a reload would
        // drop what the user added. The next save writes them, judging the
        // file against the version they were edited from.
        unsaved_ = true;
        version_ = edited;
        if (keptAs) InformKept(*keptAs);
        reporter_.Inform(SaveFailedMessage);
        return;
    }
    // Remembered by its bytes: the program's own save is never taken for
    // another program's.
    version_ = {Hash(bytes)};
    unsaved_ = false;
    if (keptAs) InformKept(*keptAs);
}

void TTypeMsg::InformKept(const std::string& name) {
    reporter_.Inform(std::string(OutsideVersionKeptBefore) + name + std::string(OutsideVersionKeptAfter));
}

std::string TTypeMsg::KeepOutsideVersion(std::string_view bytes) {
    // An earlier kept version is never overwritten.
    for (int n = 1; n < 100; ++n) {
        const std::string name =
            std::string(OutsideVersionName) + (n == 1 ? "" : "(" + std::to_string(n) + ")") + ".cfg";
        if (file_->CreateBeside(name, bytes)) return name;
    }
    throw std::runtime_error("no free name for the other version");
}

void TTypeMsg::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    exactLines_.assign(lines_.size(), std::nullopt);
    Parse();
}

void TTypeMsg::SetExactLines(std::vector<ExactText> lines) {
    lines_.clear();
    exactLines_.clear();
    lines_.reserve(lines.size());
    exactLines_.reserve(lines.size());
    for (ExactText& line : lines) {
        lines_.push_back(std::move(line.ansi));
        exactLines_.push_back(std::move(line.exact));
    }
    Parse();
}

void TTypeMsg::DeleteLine(std::size_t index) {
    if (index >= lines_.size()) return;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
    exactLines_.erase(exactLines_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TTypeMsg::Parse() {
    captions_.clear();
    contents_.clear();
    exactCaptions_.clear();
    exactContents_.clear();
    captions_.reserve(lines_.size());
    contents_.reserve(lines_.size());
    exactCaptions_.reserve(lines_.size());
    exactContents_.reserve(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!exactLines_[i]) {
            captions_.push_back(GetField(lines_[i], 1));
            contents_.push_back(GetField(lines_[i], 2));
            exactCaptions_.emplace_back();
            exactContents_.emplace_back();
            continue;
        }
        Field caption = FieldOfText(GetField(*exactLines_[i], 1), codePage_);
        Field content = FieldOfText(GetField(*exactLines_[i], 2), codePage_);
        captions_.push_back(std::move(caption.ansi));
        contents_.push_back(std::move(content.ansi));
        exactCaptions_.push_back(std::move(caption.exact));
        exactContents_.push_back(std::move(content.exact));
    }
}

}  // namespace qh
