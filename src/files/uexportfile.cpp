#include "files/uexportfile.h"

#include "evaluation/ccalccore.h"

#include <charconv>
#include <initializer_list>

namespace {
constexpr const char* Eol = "\r\n";

// Numbers are formatted with to_chars so that the export is the same under every locale (the
// window's process runs with the user's locale, whose decimal separator may be ",").
std::string Number(double value, std::chars_format format, int precision) {
    char buffer[400]; // %.2f of the largest double needs 312
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, format, precision);
    return std::string(buffer, result.ptr);
}
std::string General6(double value) {
    return Number(value, std::chars_format::general, 6);
}
std::string General12(double value) {
    return Number(value, std::chars_format::general, 12);
}
std::string Fixed(double value, int decimals) {
    return Number(value, std::chars_format::fixed, decimals);
}

// The text right-aligned in a field of the given width; a longer text is written whole.
class CLineWriter {
public:
    explicit CLineWriter(std::string& out) : m_out(out) {}
    CLineWriter& Put(std::string_view text, std::size_t width = 0) {
        if (text.size() < width)
            m_out.append(width - text.size(), ' ');
        m_out.append(text);
        return *this;
    }
    CLineWriter& Tab() { return Put("\t"); }
    void End() { m_out += Eol; }

private:
    std::string& m_out;
};

std::string TitleTime(const std::tm& t) {
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto two = [](int v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
    const int wday = t.tm_wday >= 0 && t.tm_wday < 7 ? t.tm_wday : 0;
    const int mon = t.tm_mon >= 0 && t.tm_mon < 12 ? t.tm_mon : 0;
    return std::string(days[wday]) + " " + months[mon] + " " + two(t.tm_mday) + " " + two(t.tm_hour) + ":" +
           two(t.tm_min) + ":" + two(t.tm_sec) + " " + std::to_string(t.tm_year + 1900);
}

void WriteSamplesTable(std::string& out, const CMeasrueData& store) {
    out += "Samples (Geometrical parameters are in millimeter unit).";
    out += Eol;
    CLineWriter line(out);
    line.Put("Index\t", 5).Put("DevId\t", 5);
    for (const char* name : {"A", "B", "L", "WireL", "WireD"})
        line.Put(name, 5).Tab();
    line.Put("I,mA", 6).Tab().End();

    const CSample none;
    for (std::size_t j = 0; j < store.GetPointCount(0); ++j) {
        const CSample* p = store.GetPoint(0, j).pSample;
        const CSample& s = p != nullptr ? *p : none;
        line.Put(std::to_string(j), 5).Tab().Put(std::to_string(s.GetDevId()), 5).Tab();
        for (double v :
             {s.GetA(usMilli), s.GetB(usMilli), s.GetL(usMilli), s.GetWireL(usMilli), s.GetWireD(usMilli)})
            line.Put(General6(v), 5).Tab();
        line.Put(General6(s.GetCurrent(usMilli)), 6).Tab().End();
    }
}

void WriteSectionHeader(CLineWriter& line) {
    line.Put("#\t", 5).Put("Tref\t", 7).Put("Tamb\t");
    for (int m = 0; m < MeasureModeCount; ++m)
        line.Put("M\t", 4).Put("T1, K\t", 7).Put("T2, K\t").Put("U, uV\t").Put("I, mA\t", 6);
    line.Put("Tavr, K\t", 7).Put("Alpha\t", 12);
    for (const char* name : {"Sigma\t", "Kappa\t", "Z\t", "KappaCorr\t", "ZCorr\t"})
        line.Put(name);
    line.End();
}

// A value that cannot be computed is written as "-", like the values of an incomplete point,
// and the rest of the row and of the file follows as usual.
template <typename Compute>
void PutValue(CLineWriter& line, Compute compute, std::string (*format)(double), std::size_t width) {
    std::string text;
    try {
        text = format(compute());
    } catch (const ECalcError&) {
        line.Put("-").Tab();
        return;
    }
    line.Put(text, width).Tab();
}

void WritePointRow(CLineWriter& line, const CMeasrueData& store, std::size_t k, std::size_t j) {
    const _sMeasurePoint& point = store.GetPoint(k, j);
    line.Put(std::to_string(k), 5).Tab().Put(Fixed(store.GetTref(k), 2), 7).Tab();
    line.Put(Fixed(store.GetTamb(k, j), 2)).Tab();
    for (int mode : {mmOff, mmDcPlus, mmDcMinus, mmAc}) {
        const _sModeData& m = point.Mode[static_cast<std::size_t>(mode)];
        line.Put(MeasureModeLabel(mode), 4).Tab();
        line.Put(Fixed(m.dT1, 2), 7).Tab().Put(Fixed(m.dT2, 2), 7).Tab();
        line.Put(Fixed(m.dU, 1), 7).Tab().Put(Fixed(m.dI, 1), 6).Tab();
    }
    if (!point.IsComplete()) {
        for (int i = 0; i < 7; ++i)
            line.Put("-").Tab();
        line.End();
        return;
    }
    // A fresh calculator per point, as the results page makes them.
    const CCalcCore calc(&point);
    PutValue(
        line, [&] { return calc.GetTavr(); }, [](double v) { return Fixed(v, 2); }, 7);
    std::size_t width = 12; // Alpha only
    for (TCalcValue value : {cvAlpha, cvSigma, cvKappa, cvZ, cvKappaCorr, cvZCorr}) {
        PutValue(
            line, [&] { return calc.GetValue(value); }, General12, width);
        width = 0;
    }
    line.End();
}
} // namespace

std::string ComposeResultText(const CMeasrueData& store, const std::tm& localTime) {
    std::string out = "QM4750 Result file. File created at " + TitleTime(localTime);
    out += Eol;
    out += Eol;
    const std::size_t p = store.GetTemperatureCount();
    if (p == 0)
        return out;
    // Rows are about 250 characters; reserving avoids copying a large export over and over.
    out.reserve(out.size() + 300 * (store.GetPointCount(0) + 1) * (p + 4));
    WriteSamplesTable(out, store);

    CLineWriter line(out);
    for (std::size_t j = 0; j < store.GetPointCount(0); ++j) {
        const CSample* sample = store.GetPoint(0, j).pSample;
        line.End();
        line.Put("Sample #" + std::to_string(j) + ". In device ID " +
                 std::to_string(sample != nullptr ? sample->GetDevId() : 0))
            .End();
        WriteSectionHeader(line);
        for (std::size_t k = 0; k < p; ++k)
            WritePointRow(line, store, k, j);
    }
    return out;
}

FileResult ExportResultFile(const std::filesystem::path& fileName, const CMeasrueData& store) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr)
        return FileResult::Failure(fileName.string() + ": cannot read the local time");
    return WriteFileAtomically(fileName, ComposeResultText(store, local));
}
