// A phrase store's reporter that keeps what it was told, for the tests and
// fuzz targets to look at.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace qh::test {

struct RecordingReporter : Reporter {
    std::vector<std::string> messages;
    void Inform(std::string_view message) override { messages.emplace_back(message); }
};

}  // namespace qh::test
