// Costs of the scans on a full data file (999 entries under a 20-character phrase),
// each printed as a ratio to a plain read of the same 1,104,000 bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/vault_files.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/record.h"
#include "vault/seal.h"

namespace {

const std::string kPhrase = "a twenty char phrase";  // 20 characters

std::string entryName(int i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Example site %04d", i);
    return buf;
}

// The data file measured, and the cipher of its phrase.
std::string dataFilePath;
std::unique_ptr<vault::DataFile> data;
vault::Cipher cipher;

// A data file of 1000 slots with slots 0..998 in use, as the program writes it.
void buildFullFile(const std::string& folder) {
    dataFilePath = folder + "/" + vault::kDataFileName;
    testsupport::writeDataFile(dataFilePath, testsupport::fullDataFileBytes(kPhrase, entryName));
    data = std::make_unique<vault::DataFile>(dataFilePath);
    cipher.setPhrase(kPhrase);
}

void BM_PlainRead(benchmark::State& state) {
    std::vector<char> buffer(vault::kNewFileSlots * vault::kSlotSize);
    for (auto _ : state) {
        int fd = ::open(dataFilePath.c_str(), O_RDONLY);
        std::size_t done = 0;
        while (done < buffer.size()) {
            ssize_t got = ::read(fd, buffer.data() + done, buffer.size() - done);
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.data());
        if (done != buffer.size()) state.SkipWithError("short read");
    }
}

// The names are copied out as the list takes them; the strings are reused from one
// run to the next so the allocator's churn does not count as the scan's.
void BM_LoadList(benchmark::State& state) {
    std::vector<std::string> names(1000);
    for (auto _ : state) {
        std::size_t count = 0;
        data->scanList(cipher, [&](const vault::SiteRecord& r) { names[count++].assign(r.name.chars, r.name.length); });
        if (count != 999) state.SkipWithError("wrong count");
    }
}

void BM_FindFreeSlotFull(benchmark::State& state) {
    for (auto _ : state) {
        vault::FreeSlot f = data->findFreeSlot("A name not in the file", cipher);
        if (f.kind != vault::FreeSlot::Full) state.SkipWithError("not full");
    }
}

void BM_FindSlotByNameLast(benchmark::State& state) {
    const std::string wanted = entryName(998);
    for (auto _ : state) {
        int slot = data->findSlotByName(wanted, cipher);
        data->close();
        if (slot != 998) state.SkipWithError("not found");
    }
}

// Re-keying reads, re-enciphers and writes the whole file aside, flushes it and renames
// it into place; it goes back and forth between two phrases.
void BM_Rekey(benchmark::State& state) {
    const std::string other = "another twenty chars";
    bool forward = true;
    for (auto _ : state) {
        const std::string& from = forward ? kPhrase : other;
        const std::string& to = forward ? other : kPhrase;
        if (data->rekey(cipher, from, to, [](const std::string&) { return true; }) != vault::RekeyResult::Completed)
            state.SkipWithError("not completed");
        forward = !forward;
    }
    if (!forward) data->rekey(cipher, other, kPhrase, [](const std::string&) { return true; });
    cipher.setPhrase(kPhrase);
}

// One slot written in place, as add, update and delete write it: the lock, the slot
// checked, written and flushed to disk. The plain file's is the floor of the sealed
// file's, which seals the whole image anew and replaces the file atomically.
void writeOneSlot(benchmark::State& state, vault::DataFile& file) {
    const vault::SiteRecord record =
        vault::makeRecord("U", entryName(500), "https://www.example.org/", "user", "Opened in 2019", "pW0rd!0500xyz");
    for (auto _ : state) {
        file.writeSlot(500, record, cipher);
        file.close();
    }
}

void BM_WriteSlotPlain(benchmark::State& state) { writeOneSlot(state, *data); }

// The sealed copy of the full file, in a folder of its own, its key made once.
std::unique_ptr<vault::DataFile> sealedData;
std::string sealedFolder;

void makeSealedCopy(const std::string& folder) {
    sealedFolder = folder + "/sealed";
    std::filesystem::create_directory(sealedFolder);
    const std::string path = sealedFolder + "/" + vault::kDataFileName;
    std::filesystem::copy_file(dataFilePath, path);
    sealedData = std::make_unique<vault::DataFile>(path);
    if (!sealedData->seal(vault::SealKey::fresh(kPhrase, vault::SealCost{1, 8u << 20})))
        std::fprintf(stderr, "the copy was not sealed\n");
}

void BM_WriteSlotSealed(benchmark::State& state) { writeOneSlot(state, *sealedData); }

// Continue less the key: the data file opened and the list loaded, on the plain file
// and on the sealed one (read, opened with the key made beforehand).
void BM_ContinuePlain(benchmark::State& state) {
    std::vector<std::string> names(1000);
    for (auto _ : state) {
        vault::DataFile file(dataFilePath);
        std::size_t count = 0;
        file.scanList(cipher, [&](const vault::SiteRecord& r) { names[count++].assign(r.name.chars, r.name.length); });
        if (count != 999) state.SkipWithError("wrong count");
    }
}

void BM_ContinueSealed(benchmark::State& state) {
    const std::vector<unsigned char> first = sealedData->readSealedBytes();
    const vault::SealHeader header = *vault::parseSealHeader(first.data(), first.size());
    const vault::SealKey made = vault::SealKey::derive(kPhrase, header);
    std::vector<std::string> names(1000);
    for (auto _ : state) {
        state.PauseTiming();
        vault::SealKey key = vault::SealKey::derive(kPhrase, header);
        state.ResumeTiming();
        vault::DataFile file(sealedFolder + "/" + vault::kDataFileName);
        std::vector<unsigned char> bytes = file.readSealedBytes();
        std::optional<vault::GuardedBytes> image = vault::openSealed(bytes.data(), bytes.size(), made);
        if (!image) state.SkipWithError("not opened");
        file.useSealedFile(std::move(key), std::move(*image), std::move(bytes));
        std::size_t count = 0;
        file.scanList(cipher, [&](const vault::SiteRecord& r) { names[count++].assign(r.name.chars, r.name.length); });
        if (count != 999) state.SkipWithError("wrong count");
    }
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadList)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_FindFreeSlotFull)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_FindSlotByNameLast)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Rekey)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteSlotPlain)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteSlotSealed)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ContinuePlain)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ContinueSealed)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Keeps the median time of each benchmark to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medians[r.run_name.function_name] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
    struct Times {
        double real, cpu;
    };
    std::map<std::string, Times> medians;
};

}  // namespace

int main(int argc, char** argv) {
    std::string folder = (std::filesystem::temp_directory_path() / "keyfold-bench.XXXXXX").string();
    if (!::mkdtemp(folder.data())) return 1;
    buildFullFile(folder);
    makeSealedCopy(folder);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // CPU time (user + system) is the fairer measure on a shared machine; wall time is
    // shown beside it.
    auto floor = reporter.medians.find("BM_PlainRead");
    if (floor != reporter.medians.end() && floor->second.cpu > 0) {
        const auto& f = floor->second;
        std::printf("\nRatio to a plain read of the file (%.1f us CPU, %.1f us wall); goal within 3x:\n", f.cpu,
                    f.real);
        const std::pair<const char*, const char*> rows[] = {{"BM_LoadList", "list loading"},
                                                            {"BM_FindFreeSlotFull", "FindFreeSlot (full file)"},
                                                            {"BM_FindSlotByNameLast", "FindSlotByName (slot 998)"},
                                                            {"BM_Rekey", "re-keying (for information)"}};
        for (const auto& [key, label] : rows) {
            auto it = reporter.medians.find(key);
            if (it == reporter.medians.end()) continue;
            const double cpuRatio = it->second.cpu / f.cpu, wallRatio = it->second.real / f.real;
            std::printf("  %-27s %7.1f us CPU  %5.2fx   (wall %7.1f us  %5.2fx)%s\n", label, it->second.cpu, cpuRatio,
                        it->second.real, wallRatio,
                        cpuRatio <= 3.0 || key == std::string("BM_Rekey") ? "" : "  over the goal");
        }
    }
    // The sealed file against the plain one: a write within 2x (wall time: it waits for
    // the disk), Continue less the key within 1.3x (CPU time).
    const auto ratio = [&](const char* label, const char* sealed, const char* plain, bool wall, double goal) {
        auto s = reporter.medians.find(sealed), p = reporter.medians.find(plain);
        if (s == reporter.medians.end() || p == reporter.medians.end()) return;
        const double a = wall ? s->second.real : s->second.cpu, b = wall ? p->second.real : p->second.cpu;
        std::printf("  %-27s %7.1f us against %7.1f us %s  %5.2fx%s\n", label, a, b, wall ? "wall" : "CPU ", a / b,
                    a / b <= goal ? "" : "  over the goal");
    };
    std::printf("\nThe sealed file against the plain one:\n");
    ratio("one slot written", "BM_WriteSlotSealed", "BM_WriteSlotPlain", true, 2.0);
    ratio("one slot written (CPU)", "BM_WriteSlotSealed", "BM_WriteSlotPlain", false, 2.0);
    ratio("Continue less the key", "BM_ContinueSealed", "BM_ContinuePlain", false, 1.3);
    sealedData.reset();
    data.reset();
    std::filesystem::remove_all(folder);
    return 0;
}
