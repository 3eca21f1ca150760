// The phrase file reader on arbitrary file contents in the ANSI form: the
// lines follow the line-break rules, the three lists stay parallel, every
// caption and content is a trimmed field of its line, and saving and loading
// again keeps the lines.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "disk_file.h"
#include "model.h"
#include "reference.h"
#include "reporters.h"
#include "scratch_folder.h"
#include "unicode.h"

namespace {

namespace fs = std::filesystem;

bool Trimmed(std::string_view s) {
    return s.empty() || (static_cast<unsigned char>(s.front()) > 0x20 && static_cast<unsigned char>(s.back()) > 0x20);
}

const fs::path& PhraseFile() {
    static const qh::test::ScratchFolder folder("qh-fuzz");
    static const fs::path file = folder.PhraseFile();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The UTF-8 and UTF-16 forms: utf8_phrase_file_fuzz.
    if (bytes.starts_with(qh::Utf8Bom) || bytes.starts_with(qh::Utf16LeBom) || bytes.starts_with(qh::Utf16BeBom) ||
        qh::IsMultiByteUtf8(bytes))
        return 0;
    std::ofstream(PhraseFile(), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    qh::test::RecordingReporter reporter;
    qh::TTypeMsg store(qh::OpenPhraseFile(PhraseFile()), reporter);
    Check(reporter.messages.empty(), "a readable file was reported as failing");
    Check(store.Lines() == qh::reference::SplitLines(bytes), "lines differ from the line rules");
    Check(store.Captions().size() == store.Count() && store.Contents().size() == store.Count(),
          "lists are not parallel");
    for (std::size_t i = 0; i < store.Count(); ++i) {
        const std::string& line = store.Lines()[i];
        const std::string& caption = store.Captions()[i];
        const std::string& content = store.Contents()[i];
        Check(Trimmed(caption) && Trimmed(content), "a field keeps blanks at its ends");
        Check(caption.find('\t') == std::string::npos && content.find('\t') == std::string::npos,
              "a field holds a TAB");
        Check(line.find(caption) != std::string::npos && line.find(content) != std::string::npos,
              "a field is not part of its line");
        if (line.find('\t') == std::string::npos) Check(caption == content, "a line without TAB gives two fields");
    }

    store.Save();
    qh::TTypeMsg again(qh::OpenPhraseFile(PhraseFile()), reporter);
    Check(reporter.messages.empty(), "saving or loading again failed");
    // ANSI bytes that would read back as UTF-8 are saved as UTF-8: then the
    // texts stay, in their escaped form.
    const auto textsOf = [](const qh::TTypeMsg& s) {
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < s.Count(); ++i)
            texts.push_back(qh::UnescapeText(s.Captions()[i]) + '\t' + qh::UnescapeText(s.Contents()[i]));
        return texts;
    };
    std::ifstream saved(PhraseFile(), std::ios::binary);
    std::string head(qh::Utf8Bom.size(), '\0');
    saved.read(head.data(), static_cast<std::streamsize>(head.size()));
    if (saved && head == qh::Utf8Bom)
        Check(textsOf(again) == textsOf(store), "save and load changed a phrase");
    else
        Check(again.Lines() == store.Lines(), "save and load changed the lines");
    return 0;
}
