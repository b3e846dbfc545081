// libFuzzer target of the measurement file reader: any bytes either come back as a fault (and
// leave the decoded content alone) or as a whole file that loads into a store, saves again and
// exports.

#include "files/uexportfile.h"
#include "files/usaveloadfile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {
std::vector<std::unique_ptr<CSample>> MakeSamples() {
    std::vector<std::unique_ptr<CSample>> samples;
    for (int i = 0; i < 3; ++i)
        samples.push_back(std::make_unique<CSample>());
    return samples;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    _sMeasureFile file;
    file.Tref.push_back(1.0); // a refused file must leave this as it was
    if (!DecodeMeasureFile(bytes, file).empty()) {
        if (file.Tref.size() != 1 || !file.Samples.empty())
            std::abort();
        return 0;
    }
    if (MeasureFileSize(file.Tref.size(), file.Samples.size()) != size ||
        file.Points.size() != file.Tref.size() * file.Samples.size())
        std::abort();

    // Applying it to the configured samples and saving again gives a file that reads back to the
    // same save: the store stays consistent whatever N the file had. The descriptions pass through
    // millimetres and metres and may round, so only the header and the points are compared.
    auto samples = MakeSamples();
    CMeasrueData store;
    ApplyMeasureFile(file, store, samples);
    for (std::size_t k = 0; k < store.GetTemperatureCount(); ++k)
        if (store.GetPointCount(k) != samples.size())
            std::abort();
    const std::string saved = EncodeMeasureFile(store, samples);
    _sMeasureFile again;
    if (!DecodeMeasureFile(saved, again).empty())
        std::abort();
    CMeasrueData store2;
    auto samples2 = MakeSamples();
    ApplyMeasureFile(again, store2, samples2);
    const std::size_t points = MeasureFileHeaderSize + samples.size() * MeasureFileSampleSize;
    const std::string resaved = EncodeMeasureFile(store2, samples2);
    if (resaved.size() != saved.size() || resaved.compare(points, std::string::npos, saved, points) != 0 ||
        resaved.compare(0, MeasureFileHeaderSize, saved, 0, MeasureFileHeaderSize) != 0)
        std::abort();

    // Whatever values a file holds, the export of it is written whole, one row per point.
    const std::string text = ComposeResultText(store, std::tm{});
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    if (lines !=
        (store.GetTemperatureCount() == 0 ? 2 : 4 + samples.size() * (4 + store.GetTemperatureCount())))
        std::abort();
    return 0;
}
