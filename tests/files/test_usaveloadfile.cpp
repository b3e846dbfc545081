#include "files/usaveloadfile.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace {
std::vector<std::unique_ptr<CSample>> MakeSamples(int count) {
    std::vector<std::unique_ptr<CSample>> samples;
    for (int i = 0; i < count; ++i) {
        auto s = std::make_unique<CSample>();
        s->SetDevId(i);
        s->SetUse(true);
        s->SetA(1.5 + i, usMilli);
        s->SetB(1.25, usMilli);
        s->SetL(4.0, usMilli);
        s->SetWireL(20.0, usMilli);
        s->SetWireD(0.05, usMilli);
        s->SetCurrent(40.0, usMilli);
        samples.push_back(std::move(s));
    }
    return samples;
}

void AddTemperature(CMeasrueData& store, const std::vector<std::unique_ptr<CSample>>& samples, double tref) {
    store.AddTemperature(tref);
    for (const auto& s : samples)
        store.AddPoint(s.get());
}

// Distinct values everywhere, so that a field read from the wrong place shows.
void FillPoint(CMeasrueData& store, std::size_t k, std::size_t j) {
    const double base = 1000.0 * static_cast<double>(k + 1) + 100.0 * static_cast<double>(j);
    store.SetTamb(k, j, base + 0.125);
    for (int m = 0; m < MeasureModeCount; ++m)
        store.SetModeData(k, j, m, base + m + 0.1, base + m + 0.2, -(base + m + 0.3), base + m + 0.4, m != 2);
}

std::uint32_t U32At(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(i)]);
    return v;
}
double F64At(const std::string& bytes, std::size_t offset) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(i)]);
    return std::bit_cast<double>(v);
}
void PutU32(std::string& bytes, std::size_t offset, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>(v >> (8 * i));
}

// Everything a load may change, to prove that a refused file changed nothing.
std::string Snapshot(const CMeasrueData& store, const std::vector<std::unique_ptr<CSample>>& samples) {
    return EncodeMeasureFile(store, samples);
}

struct MeasureFileTest : ::testing::Test {
    TempDir dir;
    std::vector<std::unique_ptr<CSample>> samples = MakeSamples(3);
    CMeasrueData store;

    // Two reference temperatures and three samples, every point filled.
    std::string TwoTemperatureFile() {
        AddTemperature(store, samples, 300.0);
        AddTemperature(store, samples, 325.5);
        for (std::size_t k = 0; k < 2; ++k)
            for (std::size_t j = 0; j < 3; ++j)
                FillPoint(store, k, j);
        return EncodeMeasureFile(store, samples);
    }
};
} // namespace

TEST_F(MeasureFileTest, EmptyStoreIsHeaderAndDescriptorsOnly) {
    samples[1]->SetA(2.5, usMilli);
    samples[2]->SetDevId(-7);
    const std::string bytes = EncodeMeasureFile(store, samples);
    ASSERT_EQ(bytes.size(), 171u);
    EXPECT_EQ(bytes.substr(0, 7), std::string("QM4750\x01", 7));
    EXPECT_EQ(U32At(bytes, 7), 0u);  // P
    EXPECT_EQ(U32At(bytes, 11), 3u); // N
    EXPECT_EQ(samples[1]->dA, 0.0025);
    EXPECT_EQ(U32At(bytes, 15 + 52), 1u);
    EXPECT_EQ(F64At(bytes, 15 + 52 + 4), 2.5); // A in millimetres
    EXPECT_EQ(F64At(bytes, 15 + 52 + 12), 1.25);
    EXPECT_EQ(F64At(bytes, 15 + 52 + 20), 4.0);
    EXPECT_EQ(F64At(bytes, 15 + 52 + 28), 20.0);
    EXPECT_EQ(F64At(bytes, 15 + 52 + 36), 0.05);
    EXPECT_EQ(F64At(bytes, 15 + 52 + 44), 40.0); // current in milliamperes
    EXPECT_EQ(static_cast<std::int32_t>(U32At(bytes, 15 + 104)), -7);

    // Loading it empties a store that held points and sets the descriptions.
    const auto path = dir / "empty.q47";
    TempDir::Write(path, bytes);
    auto other = MakeSamples(3);
    for (auto& s : other)
        s->SetDevId(42);
    CMeasrueData target;
    AddTemperature(target, other, 280.0);
    ASSERT_TRUE(LoadMeasureFile(path, target, other)) << LoadMeasureFile(path, target, other).Message;
    EXPECT_EQ(target.GetTemperatureCount(), 0u);
    EXPECT_EQ(other[1]->GetDevId(), 1);
    EXPECT_EQ(other[1]->dA, 2.5 * 0.001);
    EXPECT_EQ(other[2]->GetDevId(), -7);
}

TEST_F(MeasureFileTest, TwoTemperaturesLayoutAndExactRoundTrip) {
    const std::string bytes = TwoTemperatureFile();
    ASSERT_EQ(bytes.size(), 1039u);
    EXPECT_EQ(F64At(bytes, 171), 300.0);
    EXPECT_EQ(F64At(bytes, 179), 325.5);
    // Block of sample 1: its index, then the point at the second temperature after the first.
    const std::size_t block1 = 187 + (4 + 2 * 140);
    EXPECT_EQ(U32At(bytes, block1), 1u);
    const std::size_t point = block1 + 4 + 140;
    EXPECT_EQ(F64At(bytes, point), 2100.125);
    // Modes in the order OFF, DC+, DC-, AC; flag byte, T1, T2, U, I.
    EXPECT_EQ(bytes[point + 8], 1);
    EXPECT_EQ(F64At(bytes, point + 8 + 1), 2100.1);
    EXPECT_EQ(bytes[point + 8 + 2 * 33], 0); // DC- (mode 2) not measured
    EXPECT_EQ(F64At(bytes, point + 8 + 2 * 33 + 17), -2102.3);
    EXPECT_EQ(F64At(bytes, point + 8 + 3 * 33 + 25), 2103.4);

    const auto path = dir / "two.q47";
    ASSERT_TRUE(SaveMeasureFile(path, store, samples));
    EXPECT_EQ(TempDir::Read(path), bytes);

    auto loadedSamples = MakeSamples(3);
    CMeasrueData loaded;
    ASSERT_TRUE(LoadMeasureFile(path, loaded, loadedSamples));
    EXPECT_EQ(EncodeMeasureFile(loaded, loadedSamples), bytes);
    EXPECT_EQ(loaded.GetPoint(1, 2).pSample, loadedSamples[2].get());
    EXPECT_EQ(loaded.GetTamb(0, 2), 1200.125);
    EXPECT_FALSE(loaded.GetPoint(0, 0).Mode[mmDcMinus].bMeasured);
}

TEST_F(MeasureFileTest, FewerSamplesInFileThanConfiguredKeepsTheRest) {
    auto two = MakeSamples(2);
    two[0]->SetDevId(9);
    AddTemperature(store, two, 300.0);
    AddTemperature(store, two, 310.0);
    FillPoint(store, 1, 1);
    const auto path = dir / "n2.q47";
    ASSERT_TRUE(SaveMeasureFile(path, store, two));

    CMeasrueData loaded;
    samples[2]->SetDevId(77);
    ASSERT_TRUE(LoadMeasureFile(path, loaded, samples));
    EXPECT_EQ(samples[0]->GetDevId(), 9);
    EXPECT_EQ(samples[2]->GetDevId(), 77); // not in the file: keeps its own
    ASSERT_EQ(loaded.GetTemperatureCount(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        ASSERT_EQ(loaded.GetPointCount(k), 3u);
        EXPECT_EQ(loaded.GetPoint(k, 2).pSample, samples[2].get());
        EXPECT_FALSE(loaded.GetPoint(k, 2).Mode[mmOff].bMeasured);
    }
    EXPECT_EQ(loaded.GetPoint(1, 1).Mode[mmAc].dI, store.GetPoint(1, 1).Mode[mmAc].dI);
}

TEST_F(MeasureFileTest, MoreSamplesInFileThanConfiguredSkipsTheExtraOnes) {
    auto four = MakeSamples(4);
    four[3]->SetDevId(33);
    AddTemperature(store, four, 300.0);
    AddTemperature(store, four, 310.0);
    for (std::size_t j = 0; j < 4; ++j)
        FillPoint(store, 1, j);
    const auto path = dir / "n4.q47";
    ASSERT_TRUE(SaveMeasureFile(path, store, four));

    CMeasrueData loaded;
    ASSERT_TRUE(LoadMeasureFile(path, loaded, samples));
    EXPECT_EQ(loaded.GetTref(0), 300.0); // the table is read after all four descriptors
    EXPECT_EQ(loaded.GetTref(1), 310.0);
    EXPECT_EQ(loaded.GetPointCount(1), 3u);
    for (std::size_t j = 0; j < 3; ++j)
        EXPECT_EQ(loaded.GetTamb(1, j), store.GetTamb(1, j));
    EXPECT_EQ(samples[2]->GetDevId(), 2);
}

TEST_F(MeasureFileTest, FlagOtherThanOneReadsAsNotMeasuredAndAnyDevIdIsTaken) {
    std::string bytes = TwoTemperatureFile();
    const std::size_t firstFlag = 187 + 4 + 8;
    ASSERT_EQ(bytes[firstFlag], 1);
    bytes[firstFlag] = 2;
    PutU32(bytes, 15, 1000); // iDevId of sample 0, outside 0..SampleCount-1
    const auto path = dir / "odd.q47";
    TempDir::Write(path, bytes);
    CMeasrueData loaded;
    ASSERT_TRUE(LoadMeasureFile(path, loaded, samples));
    EXPECT_FALSE(loaded.GetPoint(0, 0).Mode[mmOff].bMeasured);
    EXPECT_EQ(loaded.GetPoint(0, 0).Mode[mmOff].dT1, store.GetPoint(0, 0).Mode[mmOff].dT1);
    EXPECT_EQ(samples[0]->GetDevId(), 1000);
}

// Every damaged file is turned away with a message saying what is wrong, and the store and the
// samples stay exactly as they were.
TEST_F(MeasureFileTest, DamagedFilesChangeNothing) {
    const std::string good = TwoTemperatureFile();
    struct Case {
        std::string Name;
        std::string Bytes;
        std::string Fault;
    };
    std::vector<Case> cases;
    // Truncated at every section boundary and one byte either side of it.
    for (std::size_t boundary : {0, 6, 7, 11, 15, 67, 119, 171, 179, 187, 191, 331, 471, 755, 1039}) {
        for (std::size_t cut : {boundary - 1, boundary, boundary + 1}) {
            if (cut >= good.size() || (boundary == 0 && cut != 0))
                continue;
            cases.push_back({"cut at " + std::to_string(cut), good.substr(0, cut), ""});
        }
    }
    cases.push_back({"cut in the points", good.substr(0, 412), "file ends after 412 of 1039 bytes"});
    cases.push_back({"empty", "", "file is empty"});
    cases.push_back({"one byte more", good + '\0',
                     "file is 1040 bytes long, but its 2 reference temperatures and 3 samples take 1039"});
    for (std::size_t i = 0; i < 6; ++i) {
        std::string bytes = good;
        bytes[i] = static_cast<char>(bytes[i] ^ 0x20);
        cases.push_back({"magic byte " + std::to_string(i), bytes, "not a QM4750 measurement file"});
    }
    {
        std::string bytes = good;
        bytes[6] = 2;
        cases.push_back({"version 2", bytes, "format version 2 is not supported"});
    }
    for (auto [offset, value] : std::vector<std::pair<std::size_t, std::uint32_t>>{
             {7, 0xFFFFFFFFu}, {11, 0xFFFFFFFFu}, {7, 3}, {7, 1}, {11, 2}, {11, 4}, {7, 0}}) {
        std::string bytes = good;
        PutU32(bytes, offset, value);
        cases.push_back({(offset == 7 ? "P = " : "N = ") + std::to_string(value), bytes, ""});
    }
    {
        std::string bytes = good.substr(0, 15);
        PutU32(bytes, 7, 0xFFFFFFFFu);
        PutU32(bytes, 11, 0xFFFFFFFFu);
        cases.push_back({"huge counts, header only", bytes, "file ends after 15 of "});
    }
    {
        // A whole file of temperatures without sample blocks: small on disk, huge in memory.
        const std::uint32_t p = MaxMeasureFileTemperatures + 1;
        std::string bytes = good.substr(0, 15) + std::string(std::size_t{8} * p, '\0');
        PutU32(bytes, 7, p);
        PutU32(bytes, 11, 0);
        cases.push_back(
            {"too many temperatures", bytes, "file holds 100001 reference temperatures; at most 100000"});
    }

    const auto path = dir / "damaged.q47";
    // Distinct sample descriptions and a store that holds something.
    auto target = MakeSamples(3);
    for (auto& s : target)
        s->SetDevId(50);
    CMeasrueData held;
    AddTemperature(held, target, 270.0);
    FillPoint(held, 0, 1);
    const std::string before = Snapshot(held, target);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir::Write(path, c.Bytes);
        const FileResult r = LoadMeasureFile(path, held, target);
        EXPECT_FALSE(r.Ok);
        EXPECT_NE(r.Message.find(path.string() + ": "), std::string::npos) << r.Message;
        EXPECT_NE(r.Message.find(c.Fault), std::string::npos) << r.Message;
        EXPECT_EQ(Snapshot(held, target), before);
        _sMeasureFile decoded;
        EXPECT_NE(DecodeMeasureFile(c.Bytes, decoded), "");
    }
}

TEST_F(MeasureFileTest, FilesThatCannotBeReadOrWrittenSaySo) {
    CMeasrueData loaded;
    const std::string before = Snapshot(loaded, samples);
    const FileResult missing = LoadMeasureFile(dir / "missing.q47", loaded, samples);
    EXPECT_FALSE(missing.Ok);
    EXPECT_NE(missing.Message.find("missing.q47"), std::string::npos) << missing.Message;
    EXPECT_FALSE(LoadMeasureFile(dir.Path(), loaded, samples).Ok);
    EXPECT_EQ(Snapshot(loaded, samples), before);

    TwoTemperatureFile();
    const FileResult noFolder = SaveMeasureFile(dir / "no-such-folder" / "m.q47", store, samples);
    EXPECT_FALSE(noFolder.Ok);
    EXPECT_NE(noFolder.Message, "");

    // A save that fails leaves the previous file as it was and no temporary file beside it.
    const auto taken = dir / "taken.q47";
    std::filesystem::create_directory(taken);
    TempDir::Write(taken / "inside", "x");
    EXPECT_FALSE(SaveMeasureFile(taken, store, samples).Ok);
    EXPECT_EQ(TempDir::Read(taken / "inside"), "x");
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}
