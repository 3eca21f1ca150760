// What a huge clipboard text costs the core, measured against the least any
// capture must do: copy the text into fresh memory.
//
// Every run of a timed operation is paired with a copy made right beside it,
// and repetitions of the benchmarks are randomly interleaved, so that a busy
// neighbour on the machine slows an operation and its yardstick alike; the
// limits use the median of the pairs' ratios. After the runs one line per
// limit:
//   NAME ratio=X limit=Y ok|FAIL
// and the exit status is non-zero when any limit is broken.
//
// Heap use is counted by the replaced global operator new/delete below, with
// malloc_usable_size as each block's size.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "model.h"
#include "text.h"

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void* CountedAlloc(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    const std::size_t size = malloc_usable_size(p);
    const std::size_t live = liveBytes.fetch_add(size) + size;
    std::size_t peak = peakBytes.load(std::memory_order_relaxed);
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    return p;
}

void CountedFree(void* p) noexcept {
    if (!p) return;
    liveBytes.fetch_sub(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return CountedAlloc(n); }
void* operator new[](std::size_t n) { return CountedAlloc(n); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, std::size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { CountedFree(p); }

namespace {

using qh::History;
using Clock = std::chrono::steady_clock;

constexpr std::size_t KiB = 1024, MiB = 1024 * KiB;
constexpr std::size_t Small = 1 * MiB, Large = 64 * MiB;

enum class Kind { Prose, Paths };
const char* KindName(Kind k) { return k == Kind::Prose ? "prose" : "paths"; }

// Text like a copied document: words, a CR LF every 60 to 80 bytes.
std::string Prose(std::size_t size) {
    static const char* const words[] = {"the",  "clipboard", "history", "keeps", "every", "text",
                                        "that", "a",         "program", "copies", "and",  "offers",
                                        "it",   "again,",    "newest",  "first.", "\x82\xA0\x82\xA2",
                                        "\x95\x5C\x8E\xA6"};
    std::mt19937 rng(1);
    std::string s;
    s.reserve(size + 100);
    while (s.size() < size) {
        const std::size_t lineEnd = s.size() + 60 + rng() % 21;
        while (s.size() < lineEnd) s.append(words[rng() % std::size(words)]).push_back(' ');
        s.back() = '\r';
        s.push_back('\n');
    }
    s.resize(size);
    return s;
}

// A list of Windows paths: a backslash every few bytes.
std::string Paths(std::size_t size) {
    std::mt19937 rng(2);
    std::string s;
    s.reserve(size + 200);
    while (s.size() < size) {
        s.append("C:\\Users\\quill");
        for (int depth = 2 + static_cast<int>(rng() % 6); depth > 0; --depth) {
            s.push_back('\\');
            for (int n = 2 + static_cast<int>(rng() % 9); n > 0; --n)
                s.push_back(static_cast<char>('a' + rng() % 26));
        }
        s.append(".txt\r\n");
    }
    s.resize(size);
    return s;
}

const std::string& Text(Kind kind, std::size_t size) {
    static std::map<std::pair<Kind, std::size_t>, std::string> cache;
    auto& text = cache[{kind, size}];
    if (text.empty()) text = kind == Kind::Prose ? Prose(size) : Paths(size);
    return text;
}

const std::string& Stored(Kind kind, std::size_t size) {
    static std::map<std::pair<Kind, std::size_t>, std::string> cache;
    auto& stored = cache[{kind, size}];
    if (stored.empty()) stored = qh::EscapeHistoryText(Text(kind, size));
    return stored;
}

History FullHistory() {
    History h;
    for (std::size_t i = 0; i < History::MaxHistory; ++i)
        h.CaptureClipboardText("earlier copy " + std::to_string(i));
    return h;
}

// Per timed operation, the seconds of every run of it and of the plain
// copy made beside it.
struct Pair {
    double op, copy;
};
std::map<std::string, std::vector<Pair>> pairs;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Times `op` and, right beside it, a copy of `text` into fresh memory; the
// order alternates so that neither always runs on a cache the other warmed.
// What `prepare` makes and what either returns are built and freed outside
// the clock.
template <class Prepare, class Op>
void TimeBesideCopy(benchmark::State& state, const std::string& name, const std::string& text,
                    Prepare prepare, Op op) {
    auto& samples = pairs[name];
    for (auto _ : state) {
        Pair pair{};
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (samples.size() % 2 == 0)) {
                auto subject = prepare();
                const auto start = Clock::now();
                auto result = op(subject);
                benchmark::DoNotOptimize(result);
                benchmark::ClobberMemory();
                pair.op = Seconds(start);
            } else {
                const auto start = Clock::now();
                std::string copy(text);
                benchmark::DoNotOptimize(copy.data());
                benchmark::ClobberMemory();
                pair.copy = Seconds(start);
            }
        }
        samples.push_back(pair);
        state.SetIterationTime(pair.op);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

std::string Name(const char* op, Kind kind, std::size_t size) {
    return std::string(op) + "/" + KindName(kind) + "/" + std::to_string(size / MiB) + "MiB";
}

void RegisterAll() {
    for (Kind kind : {Kind::Prose, Kind::Paths}) {
        for (std::size_t size : {Small, Large}) {
            const std::string capture = Name("capture", kind, size);
            benchmark::RegisterBenchmark(capture.c_str(), [=](benchmark::State& s) {
                const std::string& text = Text(kind, size);
                TimeBesideCopy(s, capture, text, FullHistory, [&](History& h) {
                    h.CaptureClipboardText(text);
                    return h.Count();
                });
            })->UseManualTime()->Unit(benchmark::kMillisecond);

            const std::string unescape = Name("unescape", kind, size);
            benchmark::RegisterBenchmark(unescape.c_str(), [=](benchmark::State& s) {
                const std::string& stored = Stored(kind, size);
                TimeBesideCopy(s, unescape, Text(kind, size), [] { return 0; },
                               [&](int) { return qh::UnescapeText(stored); });
            })->UseManualTime()->Unit(benchmark::kMillisecond);
        }
    }
    for (std::size_t size : {std::size_t{60}, Large}) {
        const std::string name = size == Large ? "caption/64MiB" : "caption/60B";
        benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) {
            const std::string stored = Stored(Kind::Prose, Large).substr(0, size);
            const qh::CodePage sjis = qh::CodePage::ShiftJis();
            for (auto _ : s) benchmark::DoNotOptimize(qh::MenuCaptionOf(stored, sjis));
        })->Unit(benchmark::kNanosecond)->ComputeStatistics("min", [](const std::vector<double>& v) {
            return *std::min_element(v.begin(), v.end());
        });
    }
}

double Median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Keeps the fastest repetition of each benchmark that reports a "min".
class Recorder : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min" && !run.error_occurred)
                fastest[run.run_name.function_name] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> fastest;
};

// Peak heap above what the history holds after one capture into a full
// history, and above the text one decode gives back.
struct PeakExtra {
    std::size_t capture, unescape;
};

PeakExtra MeasurePeaks(Kind kind) {
    const std::string& text = Text(kind, Large);
    PeakExtra extra{};
    {
        History h = FullHistory();
        peakBytes = liveBytes.load();
        h.CaptureClipboardText(text);
        extra.capture = peakBytes - liveBytes;
    }
    {
        const std::string& stored = Stored(kind, Large);
        peakBytes = liveBytes.load();
        const std::size_t before = liveBytes;
        const std::string decoded = qh::UnescapeText(stored);
        extra.unescape = peakBytes - before - decoded.size();
        if (decoded != text) std::abort();
    }
    return extra;
}

}  // namespace

int main(int argc, char** argv) {
    // Each big string gets fresh pages from the system, at 1 MiB as at 64 MiB,
    // so both sizes pay the page faults a real capture pays.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(256 * KiB));

    // Robust defaults on a busy machine; later arguments override them.
    std::vector<char*> args{argv[0]};
    std::string defaults[] = {"--benchmark_repetitions=12", "--benchmark_enable_random_interleaving=true",
                              "--benchmark_min_time=0.15", "--benchmark_display_aggregates_only=true"};
    for (std::string& d : defaults) args.push_back(d.data());
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    // Inputs are made before any timing starts.
    for (Kind kind : {Kind::Prose, Kind::Paths})
        for (std::size_t size : {Small, Large}) Stored(kind, size);

    RegisterAll();
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();

    bool allOk = true;
    std::vector<std::string> lines;
    const auto target = [&](const std::string& name, double ratio, double limit) {
        const bool ok = std::isfinite(ratio) && ratio <= limit;
        allOk = allOk && ok;
        char line[160];
        std::snprintf(line, sizeof line, "%s ratio=%.2f limit=%.1f %s", name.c_str(), ratio, limit,
                      ok ? "ok" : "FAIL");
        lines.push_back(line);
    };

    std::printf("\nEach run beside a plain copy of the same text into fresh memory:\n");
    std::printf("  %-20s %5s %10s %10s %8s %9s %9s\n", "", "runs", "fastest", "copy", "ns/byte",
                "copy ns/B", "op/copy");
    std::map<std::string, double> ratio, perByte, copyPerByte;
    for (const auto& [name, samples] : pairs) {
        const double bytes = name.ends_with("/64MiB") ? double(Large) : double(Small);
        std::vector<double> ops, copies, ratios;
        for (const Pair& p : samples) {
            ops.push_back(p.op);
            copies.push_back(p.copy);
            ratios.push_back(p.op / p.copy);
        }
        const double op = *std::min_element(ops.begin(), ops.end());
        const double copy = *std::min_element(copies.begin(), copies.end());
        ratio[name] = Median(ratios);
        perByte[name] = op / bytes;
        copyPerByte[name] = copy / bytes;
        std::printf("  %-20s %5zu %7.2f ms %7.2f ms %8.3f %9.3f %9.2f\n", name.c_str(), samples.size(), op * 1e3,
                    copy * 1e3, op * 1e9 / bytes, copy * 1e9 / bytes, ratio[name]);
    }
    std::printf("  (fastest run of each; op/copy is the median over the pairs)\n");

    const auto at = [](const std::map<std::string, double>& m, const std::string& key) {
        const auto it = m.find(key);
        return it == m.end() ? NAN : it->second;
    };
    for (const char* op : {"capture", "unescape"}) {
        for (Kind kind : {Kind::Prose, Kind::Paths}) {
            const std::string small = Name(op, kind, Small), large = Name(op, kind, Large);
            const std::string what = std::string(op) + "_" + KindName(kind);
            target(what + "_vs_copy", at(ratio, large), kind == Kind::Prose ? 2.0 : 4.0);
            // Growth of the cost per byte beyond the copy's own: the copy's
            // page faults cost this machine more per byte at 64 MiB than at
            // 1 MiB (the raw figures are printed too).
            target(what + "_linear", at(ratio, large) / at(ratio, small), 1.3);
            std::printf("  %s per byte: 64 MiB / 1 MiB = %.2f raw, copy alone %.2f\n", what.c_str(),
                        at(perByte, large) / at(perByte, small),
                        at(copyPerByte, large) / at(copyPerByte, small));
        }
    }

    const double caption60 = at(recorder.fastest, "caption/60B");
    const double caption64 = at(recorder.fastest, "caption/64MiB");
    std::printf("\nMenuCaptionOf: %.1f ns of a 60-byte entry, %.1f ns of a 64 MiB entry\n", caption60 * 1e9,
                caption64 * 1e9);
    target("caption_64MiB_vs_60B", caption64 / caption60, 1.5);

    std::printf("\nPeak heap beyond the history's entries (counted operator new/delete):\n");
    for (Kind kind : {Kind::Prose, Kind::Paths}) {
        const PeakExtra extra = MeasurePeaks(kind);
        std::printf("  capture/%s/64MiB:  %zu bytes above the history after it (text %zu MiB, entry %.1f MiB)\n",
                    KindName(kind), extra.capture, Large / MiB, double(Stored(kind, Large).size()) / MiB);
        std::printf("  unescape/%s/64MiB: %zu bytes beyond the decoded text (its buffer is sized for the stored form)\n",
                    KindName(kind), extra.unescape);
        target(std::string("capture_") + KindName(kind) + "_peak_memory", double(extra.capture) / Large, 2.0);
    }

    std::printf("\n");
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    return allOk ? 0 : 1;
}
