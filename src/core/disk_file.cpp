#include "disk_file.h"

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace qh {

namespace fs = std::filesystem;

std::optional<std::string> DiskPhraseFile::ReadAll(Hold) const {
    std::error_code ec;
    const fs::file_status status = fs::status(path_, ec);
    if (status.type() == fs::file_type::not_found) return std::nullopt;
    if (ec || status.type() != fs::file_type::regular)
        throw std::runtime_error("phrase file cannot be read");
    std::ifstream in(path_, std::ios::binary);
    if (!in) throw std::runtime_error("phrase file cannot be opened");
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(fs::file_size(path_)));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) throw std::runtime_error("phrase file cannot be read");
    return bytes;
}

void DiskPhraseFile::ReplaceAll(std::string_view bytes) {
    fs::path temp = path_;
    temp += ".tmp";
    try {
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            if (!out) throw std::runtime_error("temporary phrase file cannot be created");
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.close();
            if (!out) throw std::runtime_error("phrase file cannot be written");
        }
        fs::rename(temp, path_);
    } catch (...) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw;
    }
}

bool DiskPhraseFile::CreateBeside(std::string_view utf8Name, std::string_view bytes) {
    const fs::path path = path_.parent_path() / fs::path(std::u8string(utf8Name.begin(), utf8Name.end()));
    if (fs::exists(path)) return false;
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("file beside the phrase file cannot be written");
    return true;
}

}  // namespace qh
