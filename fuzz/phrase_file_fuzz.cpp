// The phrase file reader on arbitrary file contents in the ANSI form: the
// lines follow the line-break rules, the three lists stay parallel, every
// caption and content is a trimmed field of its line, and saving and loading
// again keeps the lines.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "disk_file.h"
#include "model.h"

namespace {

namespace fs = std::filesystem;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

struct SilentReporter : qh::Reporter {
    int reports = 0;
    void Inform(std::string_view) override { ++reports; }
};

// The line rules one byte at a time: CR LF, lone CR and lone LF end a line,
// NUL ends the text, a break at the very end adds no empty line.
std::vector<std::string> LinesSlowly(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open) lines.push_back(line);
    return lines;
}

bool Trimmed(std::string_view s) {
    return s.empty() || (static_cast<unsigned char>(s.front()) > 0x20 && static_cast<unsigned char>(s.back()) > 0x20);
}

const fs::path& PhraseFile() {
    static const fs::path file = [] {
        const fs::path dir = fs::temp_directory_path() / ("qh-fuzz-" + std::to_string(getpid()));
        fs::create_directories(dir);
        return dir / std::string(qh::PhraseFileName);
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.starts_with(qh::Utf8Bom)) return 0;  // the UTF-8 form: utf8_phrase_file_fuzz
    std::ofstream(PhraseFile(), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    SilentReporter reporter;
    qh::TTypeMsg store(qh::OpenPhraseFile(PhraseFile()), reporter);
    Check(reporter.reports == 0, "a readable file was reported as failing");
    Check(store.Lines() == LinesSlowly(bytes), "lines differ from the line rules");
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
    Check(reporter.reports == 0, "saving or loading again failed");
    Check(again.Lines() == store.Lines(), "save and load changed the lines");
    return 0;
}
