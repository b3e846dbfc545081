#include "files/uexportfile.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

namespace {
std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2; // March
    t.tm_mday = 7;
    t.tm_wday = 4; // Thursday
    t.tm_hour = 4;
    t.tm_min = 5;
    t.tm_sec = 9;
    return t;
}

const char* const Title = "QM4750 Result file. File created at Thu Mar 07 04:05:09 2024\r\n\r\n";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

struct ExportTest : ::testing::Test {
    std::vector<std::unique_ptr<CSample>> samples;
    CMeasrueData store;

    ExportTest() {
        for (int i = 0; i < 3; ++i) {
            auto s = std::make_unique<CSample>();
            s->SetDevId(i == 2 ? 17 : i);
            s->SetUse(i != 2);
            s->SetA(i == 0 ? 1.5 : 2.5, usMilli);
            s->SetB(1.5, usMilli);
            s->SetL(4, usMilli);
            s->SetWireL(20, usMilli);
            s->SetWireD(0.05, usMilli);
            s->SetCurrent(40, usMilli);
            samples.push_back(std::move(s));
        }
    }
    void AddTemperature(double tref) {
        store.AddTemperature(tref);
        for (const auto& s : samples)
            store.AddPoint(s.get());
    }
    // A point with Alpha 2e-4 V/K and Z 6.6667e-4 1/K on a 1.5 x 1.5 x 4 mm sample.
    void MeasureExample(std::size_t k, std::size_t j, double dcPlusT1 = 300.5) {
        store.SetTamb(k, j, 295.5);
        store.SetModeData(k, j, mmOff, 300.0, 300.0, 1000.0, 0.0, true);
        store.SetModeData(k, j, mmDcPlus, dcPlusT1, 299.5, 1200.0, 40.0, true);
        store.SetModeData(k, j, mmDcMinus, 299.5, 300.5, 800.0, -40.0, true);
        store.SetModeData(k, j, mmAc, 300.0, 300.0, 1000.0, 40.0, true);
    }
};
} // namespace

TEST_F(ExportTest, EmptyStoreIsTitleAndEmptyLine) {
    EXPECT_EQ(ComposeResultText(store, FixedTime()), Title);
}

// One reference temperature, three samples: a complete point, a point measured in OFF, DC+ and
// DC- only, and a sample out of use that was never measured.
TEST_F(ExportTest, WholeFileWithWidthsFormatsAndTabs) {
    AddTemperature(300.0);
    MeasureExample(0, 0);
    store.SetTamb(0, 1, 296.0);
    store.SetModeData(0, 1, mmOff, 301.25, 300.75, 12.34, 0.0, true);
    store.SetModeData(0, 1, mmDcPlus, 301.5, 300.5, 1234.56, 40.0, true);
    store.SetModeData(0, 1, mmDcMinus, 300.5, 301.5, -1234.56, -40.0, true);

    const std::string expected = std::string(Title) +
                                 "Samples (Geometrical parameters are in millimeter unit).\r\n"
                                 "Index\tDevId\t    A\t    B\t    L\tWireL\tWireD\t  I,mA\t\r\n"
                                 "    0\t    0\t  1.5\t  1.5\t    4\t   20\t 0.05\t    40\t\r\n"
                                 "    1\t    1\t  2.5\t  1.5\t    4\t   20\t 0.05\t    40\t\r\n"
                                 "    2\t   17\t  2.5\t  1.5\t    4\t   20\t 0.05\t    40\t\r\n";
    const std::string header = "   #\t  Tref\tTamb\t"
                               "  M\t T1, K\tT2, K\tU, uV\tI, mA\t  M\t T1, K\tT2, K\tU, uV\tI, mA\t"
                               "  M\t T1, K\tT2, K\tU, uV\tI, mA\t  M\t T1, K\tT2, K\tU, uV\tI, mA\t"
                               "Tavr, K\t      Alpha\tSigma\tKappa\tZ\tKappaCorr\tZCorr\t\r\n";
    const std::string sections =
        "\r\nSample #0. In device ID 0\r\n" + header +
        "    0\t 300.00\t295.50\t"
        " OFF\t 300.00\t 300.00\t 1000.0\t   0.0\t DC+\t 300.50\t 299.50\t 1200.0\t  40.0\t"
        " DC-\t 299.50\t 300.50\t  800.0\t -40.0\t  AC\t 300.00\t 300.00\t 1000.0\t  40.0\t"
        " 300.00\t      0.0002\t71111.1111111\t4.26666666667\t0.000666666666667\t4.21430688469\t"
        "0.000674847897535\t\r\n"
        "\r\nSample #1. In device ID 1\r\n" +
        header +
        "    0\t 300.00\t296.00\t"
        " OFF\t 301.25\t 300.75\t   12.3\t   0.0\t DC+\t 301.50\t 300.50\t 1234.6\t  40.0\t"
        " DC-\t 300.50\t 301.50\t-1234.6\t -40.0\t  AC\t   0.00\t   0.00\t    0.0\t   0.0\t"
        "-\t-\t-\t-\t-\t-\t-\t\r\n"
        "\r\nSample #2. In device ID 17\r\n" +
        header +
        "    0\t 300.00\t0.00\t"
        " OFF\t   0.00\t   0.00\t    0.0\t   0.0\t DC+\t   0.00\t   0.00\t    0.0\t   0.0\t"
        " DC-\t   0.00\t   0.00\t    0.0\t   0.0\t  AC\t   0.00\t   0.00\t    0.0\t   0.0\t"
        "-\t-\t-\t-\t-\t-\t-\t\r\n";
    EXPECT_EQ(ComposeResultText(store, FixedTime()), expected + sections);
}

// A value that cannot be computed is a "-" in its column; the row, the other sections and the
// rest of the file are still written.
TEST_F(ExportTest, ValueThatCannotBeComputedIsADash) {
    AddTemperature(300.0);
    AddTemperature(310.0);
    MeasureExample(0, 0, 299.5); // DC+ T1 - T2 equals that of OFF: Alpha divides by 0
    MeasureExample(1, 0);
    MeasureExample(0, 1);
    samples[1]->SetWireL(0, usMilli); // no lead wire length: the corrected values fail
    const std::vector<std::string> lines = Lines(ComposeResultText(store, FixedTime()));
    ASSERT_EQ(lines.size(), 2u + 5u + 3u * 5u);

    auto properties = [](const std::string& row) {
        std::vector<std::string> cells;
        std::stringstream in(row);
        for (std::string cell; std::getline(in, cell, '\t');)
            cells.push_back(cell);
        EXPECT_EQ(cells.size(), 3u + 4u * 5u + 7u) << row;
        return std::vector<std::string>(cells.end() - 7, cells.end());
    };
    // Tavr, Alpha, Sigma, Kappa, Z, KappaCorr, ZCorr
    const auto failed = properties(lines[10]);
    EXPECT_EQ(failed[0], " 300.00");
    EXPECT_EQ(failed[1], "-");
    EXPECT_EQ(failed[2], "71111.1111111");
    EXPECT_EQ(failed[3], "-");
    EXPECT_NE(failed[4], "-");
    EXPECT_EQ(failed[5], "-");
    EXPECT_EQ(failed[6], "-");
    EXPECT_EQ(properties(lines[11])[1], "      0.0002");
    const auto noWire = properties(lines[15]);
    EXPECT_EQ(noWire[3], "2.56"); // Kappa of the 2.5 mm sample
    EXPECT_EQ(noWire[5], "-");
    EXPECT_EQ(noWire[6], "-");
    EXPECT_EQ(lines[20],
              "    0\t 300.00\t0.00\t OFF\t   0.00\t   0.00\t    0.0\t   0.0\t DC+\t   0.00\t   0.00\t"
              "    0.0\t   0.0\t DC-\t   0.00\t   0.00\t    0.0\t   0.0\t  AC\t   0.00\t   0.00\t"
              "    0.0\t   0.0\t-\t-\t-\t-\t-\t-\t-\t");
}

TEST_F(ExportTest, NumberFormatsOfProperties) {
    // Alpha from (U(DC) - U(AC)) / dT: chosen to land on the formats' edge cases.
    struct Case {
        double DeltaU;
        std::string Alpha;
    } cases[] = {
        {1500.0, "      0.0015"},
        {123.456789012345, "0.000123456789012"},
        {12.3456789012345, "1.23456789012e-05"},
    };
    AddTemperature(300.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Alpha);
        store.SetModeData(0, 0, mmOff, 300.0, 300.0, 0.0, 0.0, true);
        store.SetModeData(0, 0, mmDcPlus, 300.5, 299.5, 1000.0 + c.DeltaU, 40.0, true);
        store.SetModeData(0, 0, mmDcMinus, 299.5, 300.5, 1000.0 - c.DeltaU, -40.0, true);
        store.SetModeData(0, 0, mmAc, 300.0, 300.0, 1000.0, 40.0, true);
        const std::vector<std::string> lines = Lines(ComposeResultText(store, FixedTime()));
        EXPECT_NE(lines[10].find("\t 300.00\t" + c.Alpha + "\t"), std::string::npos) << lines[10];
    }
}

TEST_F(ExportTest, FileIsWrittenWithCurrentTimeOrFailureIsReported) {
    TempDir dir;
    AddTemperature(300.0);
    MeasureExample(0, 0);
    const auto path = dir / "result.txt";
    TempDir::Write(path, "previous");
    ASSERT_TRUE(ExportResultFile(path, store));
    const std::string text = TempDir::Read(path);
    EXPECT_EQ(text.rfind("QM4750 Result file. File created at ", 0), 0u);
    const std::string composed = ComposeResultText(store, FixedTime());
    const std::size_t body = composed.find("\r\n");
    EXPECT_EQ(text.substr(text.find("\r\n")), composed.substr(body));

    const FileResult failed = ExportResultFile(dir / "missing" / "result.txt", store);
    EXPECT_FALSE(failed.Ok);
    EXPECT_NE(failed.Message, "");
}
