#include "system_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "app_window.h"
#include "conversions.h"
#include "handles.h"

namespace qh::win {

namespace {

// CreateFileW fails with INVALID_HANDLE_VALUE, not null.
KernelHandle File(HANDLE h) { return KernelHandle(h == INVALID_HANDLE_VALUE ? nullptr : h); }

// What ERROR_ACCESS_DENIED says of an attempt: mostly a refusal that no
// wait changes (a folder the user may not write to, a read-only file); but
// Windows also gives it for a rename over a file another program has open.
enum class Denied { Refusal, MayBeAHold };

// An antivirus scanner or the indexer holds a file it has just seen for a
// moment: `attempt` is tried again for up to about two seconds while it
// fails for that reason, answering messages sent to the program meanwhile.
template <class Attempt>
bool WithRetry(Attempt attempt, Denied denied = Denied::Refusal) {
    constexpr ULONGLONG Patience = 2000;
    constexpr DWORD Pause = 50;
    const ULONGLONG end = GetTickCount64() + Patience;
    for (;;) {
        if (attempt()) return true;
        const DWORD error = GetLastError();
        const bool heldForAMoment = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                                    (error == ERROR_ACCESS_DENIED && denied == Denied::MayBeAHold);
        if (!heldForAMoment || GetTickCount64() >= end) return false;
        PauseAnsweringSentMessages(Pause);
    }
}

// The whole file at `path` into `bytes`; false, with the system's error,
// when it cannot be opened or read.
bool ReadWhole(const std::wstring& path, std::string& bytes) {
    // Sharing delete too: another program may replace the file meanwhile.
    KernelHandle file = File(CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const auto failed = [&] {
        const DWORD error = GetLastError();  // closing the file must not change it
        file.reset();
        SetLastError(error);
        return false;
    };
    LARGE_INTEGER size{};
    if (!file) return false;
    if (!GetFileSizeEx(file.get(), &size)) return failed();
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) return failed();
        if (read == 0) break;  // shorter than it was a moment ago
        done += read;
    }
    bytes.resize(done);
    return true;
}

class SystemPhraseFile final : public PhraseFile {
public:
    explicit SystemPhraseFile(std::wstring path) : path_(std::move(path)) {}

    std::optional<std::string> ReadAll(Hold hold) const override {
        const DWORD attributes = GetFileAttributesW(path_.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
            throw std::runtime_error("phrase file cannot be read");
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw std::runtime_error("phrase file is a folder");
        std::string bytes;
        const auto read = [&] { return ReadWhole(path_, bytes); };
        if (hold == Hold::Wait ? WithRetry(read) : read()) return bytes;
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::nullopt;  // gone meanwhile
        throw std::runtime_error("phrase file cannot be read");
    }

    void ReplaceAll(std::string_view bytes) override {
        // A read-only phrase file, or a folder in its place, is refused at
        // once: Windows refuses the move with ERROR_ACCESS_DENIED, which the
        // wait below takes for a scanner's hold (and Wine would not refuse a
        // read-only file at all).
        const DWORD attributes = GetFileAttributesW(path_.c_str());
        constexpr DWORD refused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & refused))
            throw std::runtime_error("phrase file is read-only or a folder");
        const std::wstring temp = path_ + L".tmp";
        try {
            {
                KernelHandle file;
                const auto create = [&] {
                    file = File(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
                    return static_cast<bool>(file);
                };
                if (!WithRetry(create)) throw std::runtime_error("temporary phrase file cannot be created");
                std::size_t done = 0;
                while (done < bytes.size()) {
                    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
                    DWORD written = 0;
                    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
                        throw std::runtime_error("phrase file cannot be written");
                    done += written;
                }
                if (!FlushFileBuffers(file.get())) throw std::runtime_error("phrase file cannot be written");
            }
            // The old file stays whole until the new one is complete.
            const auto replace = [&] {
                return MoveFileExW(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            };
            // A scanner holding the phrase file gives ERROR_ACCESS_DENIED here.
            if (!WithRetry(replace, Denied::MayBeAHold))
                throw std::runtime_error("phrase file cannot be replaced");
        } catch (...) {
            WithRetry([&] { return DeleteFileW(temp.c_str()) != 0; });
            throw;
        }
    }

    bool CreateBeside(std::string_view utf8Name, std::string_view bytes) override {
        const std::wstring path = path_.substr(0, path_.find_last_of(L"\\/") + 1) + Widen(utf8Name);
        const KernelHandle file =
            File(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return false;
            throw std::runtime_error("file beside the phrase file cannot be created");
        }
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            throw std::runtime_error("file beside the phrase file cannot be written");
        return true;
    }

private:
    std::wstring path_;
};

}  // namespace

std::unique_ptr<PhraseFile> OpenPhraseFile(std::wstring path) {
    return std::make_unique<SystemPhraseFile>(std::move(path));
}

}  // namespace qh::win
