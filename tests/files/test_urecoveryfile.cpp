#include "files/urecoveryfile.h"

#include "support/tempdir.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Three samples, sample 1 switched off, two reference temperatures with a few modes stored.
struct Fixture {
    std::vector<std::unique_ptr<CSample>> Samples;
    CMeasrueData Store;

    Fixture() {
        for (int i = 0; i < 3; ++i) {
            auto s = std::make_unique<CSample>();
            s->SetDevId(i);
            s->SetUse(i != 1);
            s->SetA(1.5 + i, usMilli);
            s->SetCurrent(40 + i, usMilli);
            Samples.push_back(std::move(s));
        }
        for (double t : {300.0, 325.5}) {
            Store.AddTemperature(t);
            for (const auto& s : Samples)
                Store.AddPoint(s.get());
        }
        Store.SetTamb(0, 0, 297.25);
        Store.SetModeData(0, 0, mmOff, 300.1, 299.9, 12.5, 0.0, true);
        Store.SetModeData(0, 2, mmAc, 300.3, 299.7, -7.25, 60.0, true);
        Store.SetModeData(1, 0, mmDcMinus, 325.4, 325.6, 1e-300, 40.0, true);
    }
};

void ExpectSame(const CMeasrueData& a, const CMeasrueData& b) {
    ASSERT_EQ(a.GetTemperatureCount(), b.GetTemperatureCount());
    for (std::size_t k = 0; k < a.GetTemperatureCount(); ++k) {
        EXPECT_EQ(a.GetTref(k), b.GetTref(k));
        ASSERT_EQ(a.GetPointCount(k), b.GetPointCount(k));
        for (std::size_t j = 0; j < a.GetPointCount(k); ++j) {
            EXPECT_EQ(a.GetTamb(k, j), b.GetTamb(k, j));
            for (int m = 0; m < MeasureModeCount; ++m) {
                const _sModeData& x = a.GetPoint(k, j).Mode[static_cast<std::size_t>(m)];
                const _sModeData& y = b.GetPoint(k, j).Mode[static_cast<std::size_t>(m)];
                EXPECT_EQ(x.bMeasured, y.bMeasured);
                EXPECT_EQ(x.dT1, y.dT1);
                EXPECT_EQ(x.dT2, y.dT2);
                EXPECT_EQ(x.dU, y.dU);
                EXPECT_EQ(x.dI, y.dI);
            }
        }
    }
}

TEST(RecoveryFile, RestoresTheMeasurementAndWhatTheMeasurementFileLeavesOut) {
    TempDir dir;
    Fixture saved;
    const auto path = dir / "sub" / "folder" / "recovery.q47r";
    ASSERT_TRUE(WriteRecoveryFile(path, saved.Store, saved.Samples)) << "the folder is created";

    Fixture restored;
    restored.Store.ClearAll();
    for (const auto& s : restored.Samples) {
        s->SetUse(true);
        s->SetA(9, usMilli);
    }
    const FileResult loaded = LoadRecoveryFile(path, restored.Store, restored.Samples);
    ASSERT_TRUE(loaded) << loaded.Message;
    ExpectSame(saved.Store, restored.Store);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(restored.Samples[i]->GetUse(), i != 1) << i;
        EXPECT_DOUBLE_EQ(restored.Samples[i]->GetA(usMilli), 1.5 + static_cast<double>(i));
        EXPECT_EQ(restored.Store.GetPoint(0, i).pSample, restored.Samples[i].get());
    }
    // The measurement inside is exactly the measurement file.
    _sRecoveryFile file;
    ASSERT_EQ(DecodeRecoveryFile(TempDir::Read(path), file), "");
    EXPECT_EQ(file.Measure.Tref, (std::vector<double>{300.0, 325.5}));
}

TEST(RecoveryFile, ADamagedCopyChangesNothing) {
    Fixture source;
    const std::string good = EncodeRecoveryFile(source.Store, source.Samples);
    const std::size_t useAt = 13;               // first use flag
    const std::size_t lengthAt = useAt + 3;     // u64 length of the measurement file
    const std::size_t measureAt = lengthAt + 8; // the measurement file's magic
    auto patched = [&](std::size_t at, char value) {
        std::string bytes = good;
        bytes[at] = value;
        return bytes;
    };
    // A copy whose check sum is made to fit again, to reach the checks behind it.
    auto resealed = [&](std::string bytes) {
        bytes.resize(bytes.size() - 4);
        const std::uint32_t crc = Crc32(bytes);
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>(crc >> (8 * i)));
        return bytes;
    };
    struct Case {
        const char* name;
        std::string bytes;
        const char* fault;
    };
    const Case cases[] = {
        {"empty", "", "not a QM4750 recovery copy"},
        {"a measurement file", EncodeMeasureFile(source.Store, source.Samples), "not a QM4750 recovery copy"},
        {"version 2", patched(8, 2), "version 2"},
        {"cut short", good.substr(0, good.size() - 1), "counts call for"},
        {"one byte more", good + "x", "counts call for"},
        {"cut inside the head", good.substr(0, 15), "inside its head"},
        {"huge sample count", patched(12, '\x7f'), "inside its head"},
        {"huge length", patched(lengthAt + 7, '\x7f'), "counts call for"},
        {"one bit flipped", patched(measureAt + 200, static_cast<char>(good[measureAt + 200] ^ 0x10)),
         "check sum"},
        {"use flag 2", resealed(patched(useAt, 2)), "use flag of 2"},
        {"measurement damaged", resealed(patched(measureAt + 6, 9)), "format version 9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        _sRecoveryFile file;
        file.Use = {true};
        const std::string fault = DecodeRecoveryFile(c.bytes, file);
        EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
        EXPECT_EQ(file.Use, std::vector<bool>{true}) << "the output is left as it was";
    }

    // Through the file: the store and the samples stay as they were.
    TempDir dir;
    const auto path = dir / "recovery.q47r";
    TempDir::Write(path, good.substr(0, good.size() / 2));
    Fixture target;
    target.Store.ClearAll();
    target.Store.AddTemperature(250);
    target.Samples[1]->SetUse(true);
    const FileResult loaded = LoadRecoveryFile(path, target.Store, target.Samples);
    EXPECT_FALSE(loaded);
    EXPECT_NE(loaded.Message.find(path.string()), std::string::npos) << loaded.Message;
    EXPECT_EQ(target.Store.GetTemperatureCount(), 1u);
    EXPECT_TRUE(target.Samples[1]->GetUse());
    EXPECT_FALSE(LoadRecoveryFile(dir / "absent.q47r", target.Store, target.Samples));
}

TEST(RecoveryFile, SettingAsideKeepsEveryCopyUnderItsTimeStamp) {
    TempDir dir;
    const auto path = RecoveryFilePath(dir.Path());
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 0;
    when.tm_mday = 31;
    when.tm_hour = 14;
    when.tm_min = 25;
    when.tm_sec = 1;
    when.tm_isdst = -1;
    const auto now = std::chrono::system_clock::from_time_t(std::mktime(&when));

    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        TempDir::Write(path, "copy " + std::to_string(i));
        std::filesystem::path aside;
        ASSERT_TRUE(SetRecoveryFileAside(path, now, aside));
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(TempDir::Read(aside), "copy " + std::to_string(i));
        names.push_back(aside.filename().string());
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"recovery-20240131-142501.q47r", "recovery-20240131-142501-2.q47r",
                                        "recovery-20240131-142501-3.q47r"}));
    std::filesystem::path aside;
    EXPECT_FALSE(SetRecoveryFileAside(path, now, aside)) << "no copy to set aside";
    EXPECT_TRUE(RemoveRecoveryFile(path)) << "removing a copy that is not there is no failure";
}

TEST(RecoveryFile, FolderIsTheUsersDataFolder) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/data", "/home/op", "/data/qm4750"},
        {nullptr, "/home/op", "/home/op/.local/share/qm4750"},
        {"relative/dir", "/home/op", "/home/op/.local/share/qm4750"},
        {"", "/home/op", "/home/op/.local/share/qm4750"},
        {nullptr, nullptr, ""},
    };
    const std::string oldXdg = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    const bool hadXdg = std::getenv("XDG_DATA_HOME") != nullptr;
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const bool hadHome = std::getenv("HOME") != nullptr;
    auto set = [](const char* name, const char* value) {
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    };
    for (const Case& c : cases) {
        set("XDG_DATA_HOME", c.xdg);
        set("HOME", c.home);
        EXPECT_EQ(DefaultRecoveryFolder().string(), c.expected);
    }
    set("XDG_DATA_HOME", hadXdg ? oldXdg.c_str() : nullptr);
    set("HOME", hadHome ? oldHome.c_str() : nullptr);
}

} // namespace
