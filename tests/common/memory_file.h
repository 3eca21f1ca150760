// A phrase file held in memory: the store reads and replaces the caller's
// bytes (no value: no file), so a test or fuzz target sees exactly what a
// save wrote, and a test changes or refuses them as another program would.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model.h"

namespace qh::test {

struct Access { bool read = true, write = true; };

class MemoryFile final : public PhraseFile {
public:
    explicit MemoryFile(std::optional<std::string>& bytes, const Access& access = full)
        : bytes_(bytes), access_(access) {}
    std::optional<std::string> ReadAll(Hold) const override {
        if (!access_.read) throw std::runtime_error("held");
        return bytes_;
    }
    void ReplaceAll(std::string_view bytes) override {
        if (!access_.write) throw std::runtime_error("read-only");
        bytes_ = std::string(bytes);
    }
    bool CreateBeside(std::string_view name, std::string_view bytes) override {
        return beside.emplace(name, bytes).second;
    }

    std::map<std::string, std::string, std::less<>> beside;

private:
    static constexpr Access full{};
    std::optional<std::string>& bytes_;
    const Access& access_;
};

}  // namespace qh::test
