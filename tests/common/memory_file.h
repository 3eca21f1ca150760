// A phrase file held in memory: the store reads and replaces the caller's
// bytes (no value: no file), so a test or fuzz target sees exactly what a
// save wrote, and a test changes them as another program would. While
// `readOnly` is true, a save fails.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model.h"

namespace qh::test {

class MemoryFile final : public PhraseFile {
public:
    explicit MemoryFile(std::optional<std::string>& bytes, const bool& readOnly = writable)
        : bytes_(bytes), readOnly_(readOnly) {}
    std::optional<std::string> ReadAll(Hold) const override { return bytes_; }
    void ReplaceAll(std::string_view bytes) override {
        if (readOnly_) throw std::runtime_error("read-only");
        bytes_ = std::string(bytes);
    }
    bool CreateBeside(std::string_view name, std::string_view bytes) override {
        return beside.emplace(name, bytes).second;
    }

    std::map<std::string, std::string, std::less<>> beside;

private:
    static constexpr bool writable = false;
    std::optional<std::string>& bytes_;
    const bool& readOnly_;
};

}  // namespace qh::test
