// Save, load and export of a measurement of 1000 reference temperatures and 3 samples, next to a
// plain write and read of the same number of bytes: saving and loading are meant to be I/O-bound.
// Throughput of the file benchmarks is per wall-clock second (UseRealTime), the in-memory ones per
// CPU second.

#include "benchstore.h"
#include "files/uexportfile.h"
#include "files/usaveloadfile.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace {
struct Measurement {
    std::vector<std::unique_ptr<CSample>> Samples;
    CMeasrueData Store;

    Measurement() {
        for (int j = 0; j < 3; ++j) {
            auto s = std::make_unique<CSample>();
            s->SetDevId(j);
            s->SetA(1.5, usMilli);
            s->SetB(1.5, usMilli);
            s->SetL(4.0, usMilli);
            s->SetWireL(20.0, usMilli);
            s->SetWireD(0.05, usMilli);
            s->SetCurrent(40.0, usMilli);
            Samples.push_back(std::move(s));
        }
        FillBenchStore(Store, Samples, 1000, 0.18);
    }
};

const Measurement& Data() {
    static const Measurement m;
    return m;
}

std::filesystem::path TempPath(const char* name) {
    return std::filesystem::temp_directory_path() / (std::string("qm4750-bench-") + name);
}

void BM_SaveMeasureFile(benchmark::State& state) {
    const auto path = TempPath("save.q47");
    const std::size_t size = EncodeMeasureFile(Data().Store, Data().Samples).size();
    for (auto _ : state)
        if (!SaveMeasureFile(path, Data().Store, Data().Samples))
            state.SkipWithError("save failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    std::filesystem::remove(path);
}
BENCHMARK(BM_SaveMeasureFile)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_EncodeMeasureFile(benchmark::State& state) {
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string bytes = EncodeMeasureFile(Data().Store, Data().Samples);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_EncodeMeasureFile)->Unit(benchmark::kMillisecond);

// The same bytes written with a plain open, write, close; with state.range(0) also flushed to disk.
void BM_PlainWrite(benchmark::State& state) {
    const auto path = TempPath("plain.bin");
    const std::string bytes = EncodeMeasureFile(Data().Store, Data().Samples);
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            (state.range(0) != 0 && ::fsync(fd) != 0))
            state.SkipWithError("write failed");
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_PlainWrite)->ArgName("fsync")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LoadMeasureFile(benchmark::State& state) {
    const auto path = TempPath("load.q47");
    if (!SaveMeasureFile(path, Data().Store, Data().Samples))
        state.SkipWithError("save failed");
    std::vector<std::unique_ptr<CSample>> samples;
    for (int j = 0; j < 3; ++j)
        samples.push_back(std::make_unique<CSample>());
    CMeasrueData store;
    for (auto _ : state)
        if (!LoadMeasureFile(path, store, samples))
            state.SkipWithError("load failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadMeasureFile)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_DecodeMeasureFile(benchmark::State& state) {
    const std::string bytes = EncodeMeasureFile(Data().Store, Data().Samples);
    for (auto _ : state) {
        _sMeasureFile file;
        if (!DecodeMeasureFile(bytes, file).empty())
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(file.Points.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_DecodeMeasureFile)->Unit(benchmark::kMillisecond);

void BM_PlainRead(benchmark::State& state) {
    const auto path = TempPath("plainread.bin");
    const std::string bytes = EncodeMeasureFile(Data().Store, Data().Samples);
    std::ofstream(path, std::ios::binary) << bytes;
    std::string buffer(bytes.size(), '\0');
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0 || ::read(fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size()))
            state.SkipWithError("read failed");
        ::close(fd);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_PlainRead)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ComposeResultText(benchmark::State& state) {
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string text = ComposeResultText(Data().Store, std::tm{});
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_ComposeResultText)->Unit(benchmark::kMillisecond);

void BM_ExportResultFile(benchmark::State& state) {
    const auto path = TempPath("export.txt");
    for (auto _ : state)
        if (!ExportResultFile(path, Data().Store))
            state.SkipWithError("export failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}
BENCHMARK(BM_ExportResultFile)->UseRealTime()->Unit(benchmark::kMillisecond);
} // namespace
