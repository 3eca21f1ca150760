// The phrase file through the standard library, for tests and tools. The
// program itself uses the system's file calls (platform), which keep the
// executable free of iostreams and filesystem code.
#pragma once

#include <filesystem>

#include "model.h"

namespace qh {

class DiskPhraseFile final : public PhraseFile {
public:
    explicit DiskPhraseFile(std::filesystem::path path) : path_(std::move(path)) {}

    // Nothing holds a file here for a moment: `Hold` makes no difference.
    std::optional<std::string> ReadAll(Hold) const override;
    // Writes a temporary file beside the target, then renames it over.
    void ReplaceAll(std::string_view bytes) override;
    bool CreateBeside(std::string_view utf8Name, std::string_view bytes) override;

private:
    std::filesystem::path path_;
};

inline std::unique_ptr<PhraseFile> OpenPhraseFile(std::filesystem::path path) {
    return std::make_unique<DiskPhraseFile>(std::move(path));
}

}  // namespace qh
