// Plain reference versions of the core's text rules, one byte at a time and
// with no cleverness: the tests and fuzz targets compare the core's fast
// scanners against them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace qh::reference {

// The line rules: CR LF, lone CR and lone LF end a line, NUL ends the
// text, a break at the very end adds no empty line.
inline std::vector<std::string> SplitLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            line += bytes[i];
            open = true;
        }
    }
    if (open) lines.push_back(line);
    return lines;
}

// The decoder, left to right.
inline std::string Decode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const std::string_view rest = s.substr(i);
        if (rest.starts_with("\\\\")) out += '\\', i += 2;
        else if (rest.starts_with("\\t")) out += '\t', i += 2;
        else if (rest.starts_with("\\r\\n")) out += "\r\n", i += 4;
        else out += s[i++];
    }
    return out;
}

// The escapes as the chains of replacements that define them.
inline std::string EscapeHistory(std::string_view text) {
    return ReplaceAll(ReplaceAll(text, "\\", "\\\\"), "\r\n", "\\r\\n");
}
inline std::string EscapePhrase(std::string_view text) {
    return ReplaceAll(ReplaceAll(ReplaceAll(text, "\\", "\\\\"), "\t", "\\t"), "\r\n", "\\r\\n");
}

// Whether the bytes end on a character boundary of the code page.
inline bool EndsOnCharacterBoundary(std::string_view s, const CodePage& codePage) {
    std::size_t i = 0;
    while (i < s.size()) i += codePage.IsLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
    return i == s.size();
}

}  // namespace qh::reference
