// A fresh folder of a test's own under the system's temporary folder,
// removed with everything in it (read-only files included) afterwards.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "model.h"

namespace qh::test {

class ScratchFolder {
public:
    explicit ScratchFolder(std::string_view tag = "qh-test") {
        static std::atomic<unsigned> counter{0};
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                (std::string(tag) + "-" + std::to_string(std::random_device{}()) + "-" + std::to_string(now % 1000000) +
                 "-" + std::to_string(++counter));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path PhraseFile() const { return path_ / std::string(PhraseFileName); }

    // The phrase file's bytes, written and read as they are.
    void WritePhraseFile(std::string_view bytes) const {
        std::ofstream(PhraseFile(), std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::optional<std::string> PhraseFileBytes() const {
        std::ifstream in(PhraseFile(), std::ios::binary);
        if (!in) return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The phrase file, lines joined with CR LF.
    void WritePhrases(const std::vector<std::string>& lines) const {
        std::string bytes;
        for (const std::string& line : lines) bytes += line + "\r\n";
        WritePhraseFile(bytes);
    }

private:
    std::filesystem::path path_;
};

}  // namespace qh::test
