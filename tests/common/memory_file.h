// A phrase file held in memory: the store reads and replaces the caller's
// bytes (no value: no file), so a test or fuzz target sees exactly what a
// save wrote.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "model.h"

namespace qh::test {

class MemoryFile final : public PhraseFile {
public:
    explicit MemoryFile(std::optional<std::string>& bytes) : bytes_(bytes) {}
    std::optional<std::string> ReadAll() const override { return bytes_; }
    void ReplaceAll(std::string_view bytes) override { bytes_ = std::string(bytes); }
    // Any change of the bytes moves the stamp.
    std::optional<FileStamp> Stamp() const override {
        if (!bytes_) return std::nullopt;
        return FileStamp{std::hash<std::string>{}(*bytes_), bytes_->size()};
    }
    bool CreateBeside(std::string_view name, std::string_view bytes) override {
        return beside.emplace(name, bytes).second;
    }

    std::map<std::string, std::string, std::less<>> beside;

private:
    std::optional<std::string>& bytes_;
};

}  // namespace qh::test
