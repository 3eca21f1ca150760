// What a huge clipboard text costs the core, measured against the least any
// capture must do: copy the text into fresh memory.
//
// Every run of a timed operation is paired with a copy of the same text into
// fresh memory made right beside it, and repetitions of the benchmarks are
// randomly interleaved, so that a busy neighbour on the machine slows an
// operation and its yardstick alike; the limits use the median of the pairs'
// ratios. A third run beside them copies the text into memory that is
// already touched: its ratio shows what the operation costs on a machine
// whose page faults are cheap, where the fresh copy is no slower than that.
// After the runs one line per limit:
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
#include <cstring>
#include <map>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "model.h"
#include "text.h"

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

// While set, big blocks are kept when freed and handed out again, already
// touched, as by a heap that never gives memory back to the system: what an
// operation costs where page faults cost nothing. The benchmark runs on one
// thread.
bool warmHeap = false;
constexpr std::size_t WarmFrom = 256 * 1024;
struct KeptBlock {
    void* p;
    std::size_t size;
};
KeptBlock keptBlocks[16];

void* TakeKept(std::size_t n) {
    KeptBlock* best = nullptr;
    for (KeptBlock& k : keptBlocks)
        if (k.p && k.size >= n && (!best || k.size < best->size)) best = &k;
    if (!best) return nullptr;
    return std::exchange(best->p, nullptr);
}

bool Keep(void* p, std::size_t size) {
    for (KeptBlock& k : keptBlocks)
        if (!k.p) {
            k = {p, size};
            return true;
        }
    return false;
}

void* CountedAlloc(std::size_t n) {
    const bool warm = warmHeap && n >= WarmFrom;
    void* p = warm ? TakeKept(n) : nullptr;
    if (!p) {
        p = std::malloc(n ? n : 1);
        if (!p) throw std::bad_alloc();
        if (warm) std::memset(p, 0, malloc_usable_size(p));
    }
    const std::size_t size = malloc_usable_size(p);
    const std::size_t live = liveBytes.fetch_add(size) + size;
    std::size_t peak = peakBytes.load(std::memory_order_relaxed);
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    return p;
}

void CountedFree(void* p) noexcept {
    if (!p) return;
    const std::size_t size = malloc_usable_size(p);
    liveBytes.fetch_sub(size);
    if (warmHeap && size >= WarmFrom && Keep(p, size)) return;
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

enum class Kind { Prose, Paths, Unicode };
const char* KindName(Kind k) {
    return k == Kind::Prose ? "prose" : k == Kind::Paths ? "paths" : "unicode";
}

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

// Prose beyond the ANSI code page, `size` bytes of UTF-16: accented words,
// CJK, emoji, a CR LF every 60 to 80 characters. Returns its exact form and
// the ANSI form the reader derives, with "?" for what the code page lacks.
qh::ExactText UnicodeProse(std::size_t size) {
    static const char16_t* const words[] = {u"naïve", u"café", u"€5", u"𠮷野家の髙橋さん", u"😀", u"한국어",
                                            u"Ελληνικά", u"the", u"clipboard", u"keeps", u"every", u"text"};
    std::mt19937 rng(3);
    std::u16string s;
    const std::size_t units = size / sizeof(char16_t);
    s.reserve(units + 100);
    while (s.size() < units) {
        const std::size_t lineEnd = s.size() + 60 + rng() % 21;
        while (s.size() < lineEnd) s.append(words[rng() % std::size(words)]).push_back(u' ');
        s.back() = u'\r';
        s.push_back(u'\n');
    }
    s.resize(units);
    std::string ansi;
    ansi.reserve(units);
    for (char16_t c : s) ansi.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return {std::move(ansi), std::move(s)};
}

// What the clipboard offers, and the history's stored form of it. The
// yardsticks copy `text`: for a text with its exact form, the bytes of both
// forms, as the clipboard holds them.
struct Input {
    std::string text;
    std::string stored;
    qh::ExactText exact;
};

const Input& InputOf(Kind kind, std::size_t size) {
    static std::map<std::pair<Kind, std::size_t>, Input> cache;
    Input& input = cache[{kind, size}];
    if (!input.text.empty()) return input;
    if (kind == Kind::Unicode) {
        input.exact = UnicodeProse(size);
        const std::u16string& exact = *input.exact.exact;
        input.text.assign(reinterpret_cast<const char*>(exact.data()), exact.size() * sizeof(char16_t));
        input.text += input.exact.ansi;
    } else {
        input.text = kind == Kind::Prose ? Prose(size) : Paths(size);
        input.stored = qh::EscapeHistoryText(input.text);
    }
    return input;
}

History FullHistory() {
    History h;
    for (std::size_t i = 0; i < History::MaxHistory; ++i)
        h.CaptureClipboardText("earlier copy " + std::to_string(i));
    return h;
}

// What a timed run works on and what it leaves behind: both are made and
// freed outside the clock.
struct Subject {
    History history = FullHistory();
    std::string kept;
};

void Capture(Subject& s, const Input& in) { s.history.CaptureClipboardText(in.text); }
// Both forms as the reader hands them over (its copies of the clipboard's
// blocks are timed too), then the capture.
void CaptureExact(Subject& s, const Input& in) { s.history.CaptureClipboardText(qh::ExactText(in.exact)); }
void Unescape(Subject& s, const Input& in) { s.kept = qh::UnescapeText(in.stored); }

// The timed operations, each on 1 MiB and 64 MiB of its kind of text. A new
// operation or kind of text is one more line here.
struct Case {
    const char* op;
    Kind kind;
    double limit;  // ratio at 64 MiB to a copy of the text into fresh memory
    void (*run)(Subject&, const Input&);
};
const Case Cases[] = {
    {"capture", Kind::Prose, 2.0, Capture},
    {"capture", Kind::Paths, 3.0, Capture},
    {"unescape", Kind::Prose, 2.0, Unescape},
    {"unescape", Kind::Paths, 3.0, Unescape},
    {"capture", Kind::Unicode, 3.0, CaptureExact},
};
constexpr double LinearLimit = 1.3;      // growth of the ratio from 1 MiB to 64 MiB
constexpr double PeakMemoryLimit = 2.0;  // heap one run takes at its peak, per byte of text

std::string Name(const Case& c, std::size_t size) {
    return std::string(c.op) + "/" + KindName(c.kind) + "/" + std::to_string(size / MiB) + "MiB";
}

// Per timed operation, the seconds of every run of it and of the copies
// made beside it.
struct Sample {
    double op, fresh, warmOp, touched;
};
std::map<std::string, std::vector<Sample>> samples;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Times `c` on `input` and, right beside it, a copy of the text into fresh
// memory; then both again where memory is already touched. The order
// rotates so that none always runs on a cache another warmed.
void TimeBesideCopies(benchmark::State& state, const std::string& name, const Case& c, const Input& input) {
    const std::string& text = input.text;
    std::string touched(text.size(), '\0');
    auto& runs = samples[name];
    for (auto _ : state) {
        Sample sample{};
        for (std::size_t turn = 0; turn < 4; ++turn) {
            switch ((turn + runs.size()) % 4) {
            case 0: {
                Subject subject;
                const auto start = Clock::now();
                c.run(subject, input);
                benchmark::ClobberMemory();
                sample.op = Seconds(start);
                break;
            }
            case 1: {
                const auto start = Clock::now();
                std::string copy(text);
                benchmark::DoNotOptimize(copy.data());
                benchmark::ClobberMemory();
                sample.fresh = Seconds(start);
                break;
            }
            case 2: {
                warmHeap = true;
                {
                    Subject subject;
                    const auto start = Clock::now();
                    c.run(subject, input);
                    benchmark::ClobberMemory();
                    sample.warmOp = Seconds(start);
                }
                warmHeap = false;
                break;
            }
            default: {
                const auto start = Clock::now();
                std::memcpy(touched.data(), text.data(), text.size());
                benchmark::DoNotOptimize(touched.data());
                benchmark::ClobberMemory();
                sample.touched = Seconds(start);
            }
            }
        }
        runs.push_back(sample);
        state.SetIterationTime(sample.op);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void RegisterAll() {
    for (const Case& c : Cases) {
        for (std::size_t size : {Small, Large}) {
            const std::string name = Name(c, size);
            benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) {
                TimeBesideCopies(s, name, c, InputOf(c.kind, size));
            })->UseManualTime()->Unit(benchmark::kMillisecond);
        }
    }
    for (std::size_t size : {std::size_t{60}, Large}) {
        const std::string name = size == Large ? "caption/64MiB" : "caption/60B";
        benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) {
            const std::string stored = InputOf(Kind::Prose, Large).stored.substr(0, size);
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

// Heap one run on 64 MiB takes at its peak, above what was live before it,
// and how much of that it keeps.
struct Peak {
    std::size_t peak, kept;
};

Peak MeasurePeak(const Case& c) {
    const Input& input = InputOf(c.kind, Large);
    Subject subject;
    const std::size_t before = liveBytes;
    peakBytes = before;
    c.run(subject, input);
    const std::size_t after = liveBytes;
    return {peakBytes - before, after > before ? after - before : 0};
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
    for (const Case& c : Cases)
        for (std::size_t size : {Small, Large}) InputOf(c.kind, size);

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

    std::printf("\nEach run beside copies of the same text into fresh and into touched memory, and the\n"
                "run again where its own memory is touched (warm):\n");
    std::printf("  %-20s %5s %10s %10s %10s %10s %9s %11s %10s\n", "", "runs", "fastest", "fresh copy", "warm",
                "touched", "op/fresh", "op/touched", "warm/touched");
    std::map<std::string, double> ratio, perByte, freshPerByte;
    double freshLarge = INFINITY, touchedLarge = INFINITY;
    for (const auto& [name, runs] : samples) {
        const double bytes = name.ends_with("/64MiB") ? double(Large) : double(Small);
        std::vector<double> ops, fresh, warm, touched, toFresh, toTouched, warmToTouched;
        for (const Sample& s : runs) {
            ops.push_back(s.op);
            fresh.push_back(s.fresh);
            warm.push_back(s.warmOp);
            touched.push_back(s.touched);
            toFresh.push_back(s.op / s.fresh);
            toTouched.push_back(s.op / s.touched);
            warmToTouched.push_back(s.warmOp / s.touched);
        }
        const double op = *std::min_element(ops.begin(), ops.end());
        const double copy = *std::min_element(fresh.begin(), fresh.end());
        const double touch = *std::min_element(touched.begin(), touched.end());
        if (bytes == double(Large)) {
            freshLarge = std::min(freshLarge, copy);
            touchedLarge = std::min(touchedLarge, touch);
        }
        ratio[name] = Median(toFresh);
        perByte[name] = op / bytes;
        freshPerByte[name] = copy / bytes;
        std::printf("  %-20s %5zu %7.2f ms %7.2f ms %7.2f ms %7.2f ms %9.2f %11.2f %10.2f\n", name.c_str(),
                    runs.size(), op * 1e3, copy * 1e3, *std::min_element(warm.begin(), warm.end()) * 1e3,
                    touch * 1e3, ratio[name], Median(toTouched), Median(warmToTouched));
    }
    std::printf("  (fastest run of each; the ratios are medians over the runs made side by side)\n");
    std::printf("  a 64 MiB copy into fresh memory runs at %.2f GB/s here, into touched memory at %.2f GB/s\n",
                double(Large) / freshLarge / 1e9, double(Large) / touchedLarge / 1e9);

    const auto at = [](const std::map<std::string, double>& m, const std::string& key) {
        const auto it = m.find(key);
        return it == m.end() ? NAN : it->second;
    };
    for (const Case& c : Cases) {
        const std::string small = Name(c, Small), large = Name(c, Large);
        const std::string what = std::string(c.op) + "_" + KindName(c.kind);
        target(what + "_vs_copy", at(ratio, large), c.limit);
        // Growth of the cost per byte beyond the copy's own: the copy's page
        // faults may cost more per byte at 64 MiB than at 1 MiB (the raw
        // figures are printed too).
        target(what + "_linear", at(ratio, large) / at(ratio, small), LinearLimit);
        std::printf("  %s per byte: 64 MiB / 1 MiB = %.2f raw, fresh copy alone %.2f\n", what.c_str(),
                    at(perByte, large) / at(perByte, small), at(freshPerByte, large) / at(freshPerByte, small));
    }

    const double caption60 = at(recorder.fastest, "caption/60B");
    const double caption64 = at(recorder.fastest, "caption/64MiB");
    std::printf("\nMenuCaptionOf: %.1f ns of a 60-byte entry, %.1f ns of a 64 MiB entry\n", caption60 * 1e9,
                caption64 * 1e9);
    target("caption_64MiB_vs_60B", caption64 / caption60, 1.5);

    std::printf("\nPeak heap of one run on 64 MiB above what was live before it (counted operator new/delete):\n");
    for (const Case& c : Cases) {
        const Peak peak = MeasurePeak(c);
        const double text = double(InputOf(c.kind, Large).text.size());
        std::printf("  %-20s %6.1f MiB at the peak, %6.1f MiB kept (text %.0f MiB)\n", Name(c, Large).c_str(),
                    double(peak.peak) / MiB, double(peak.kept) / MiB, text / MiB);
        target(std::string(c.op) + "_" + KindName(c.kind) + "_peak_memory", double(peak.peak) / text,
               PeakMemoryLimit);
    }

    std::printf("\n");
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    return allOk ? 0 : 1;
}
