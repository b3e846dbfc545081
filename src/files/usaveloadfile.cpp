#include "files/usaveloadfile.h"

#include "model/uglobal.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <limits>

namespace {
constexpr char Magic[] = {'Q', 'M', '4', '7', '5', '0'};
constexpr std::size_t MagicSize = sizeof(Magic);
constexpr std::uint8_t FormatVersion = 1;

// Little-endian writer into a buffer of the exact size of the file.
class CByteWriter {
public:
    explicit CByteWriter(std::size_t size) : m_bytes(size, '\0') {}
    void U8(std::uint8_t v) { m_bytes[m_pos++] = static_cast<char>(v); }
    void U32(std::uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8)
            U8(static_cast<std::uint8_t>(v >> shift));
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void F64(double v) {
        const auto bits = std::bit_cast<std::uint64_t>(v);
        for (int shift = 0; shift < 64; shift += 8)
            U8(static_cast<std::uint8_t>(bits >> shift));
    }
    void Raw(const char* data, std::size_t size) {
        m_bytes.replace(m_pos, size, data, size);
        m_pos += size;
    }
    std::string Take() {
        m_bytes.resize(m_pos);
        return std::move(m_bytes);
    }

private:
    std::string m_bytes;
    std::size_t m_pos = 0;
};

// Little-endian reader. Callers check the length first, so reads never run past the end.
class CByteReader {
public:
    explicit CByteReader(std::string_view bytes) : m_bytes(bytes) {}
    std::uint8_t U8() { return static_cast<std::uint8_t>(m_bytes[m_pos++]); }
    std::uint32_t U32() {
        std::uint32_t v = 0;
        for (int shift = 0; shift < 32; shift += 8)
            v |= static_cast<std::uint32_t>(U8()) << shift;
        return v;
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    double F64() {
        std::uint64_t bits = 0;
        for (int shift = 0; shift < 64; shift += 8)
            bits |= static_cast<std::uint64_t>(U8()) << shift;
        return std::bit_cast<double>(bits);
    }
    void Skip(std::size_t n) { m_pos += n; }
    std::size_t Position() const { return m_pos; }

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

std::uint64_t SatMul(std::uint64_t a, std::uint64_t b) {
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    return a != 0 && b > max / a ? max : a * b;
}
std::uint64_t SatAdd(std::uint64_t a, std::uint64_t b) {
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    return b > max - a ? max : a + b;
}

// Which part of the file a byte offset falls into, to say where a short file ends.
std::string SectionAt(std::uint64_t offset, std::uint64_t p, std::uint64_t n) {
    if (offset < MeasureFileHeaderSize)
        return "the header";
    offset -= MeasureFileHeaderSize;
    if (offset < n * MeasureFileSampleSize)
        return "the description of sample " + std::to_string(offset / MeasureFileSampleSize);
    offset -= n * MeasureFileSampleSize;
    if (offset < 8 * p)
        return "the reference temperature table";
    offset -= 8 * p;
    return "the points of sample " + std::to_string(offset / (4 + MeasureFilePointSize * p));
}

// Whether the bytes present could be the start of a measurement file.
bool StartsLikeMeasureFile(std::string_view bytes) {
    const std::size_t n = std::min(bytes.size(), MagicSize);
    return std::memcmp(bytes.data(), Magic, n) == 0;
}

std::string CheckHeader(std::string_view bytes, std::uint32_t& p, std::uint32_t& n) {
    if (bytes.empty())
        return "file is empty";
    if (!StartsLikeMeasureFile(bytes))
        return "not a QM4750 measurement file";
    if (bytes.size() > MagicSize && static_cast<std::uint8_t>(bytes[MagicSize]) != FormatVersion)
        return "format version " + std::to_string(static_cast<std::uint8_t>(bytes[MagicSize])) +
               " is not supported";
    if (bytes.size() < MeasureFileHeaderSize)
        return "file ends after " + std::to_string(bytes.size()) + " bytes, inside its " +
               std::to_string(MeasureFileHeaderSize) + "-byte header";
    CByteReader in(bytes);
    in.Skip(MagicSize + 1);
    p = in.U32();
    n = in.U32();
    return {};
}

std::string CheckLength(std::uint64_t actual, std::uint32_t p, std::uint32_t n) {
    const std::uint64_t expected = MeasureFileSize(p, n);
    if (actual < expected)
        return "file ends after " + std::to_string(actual) + " of " + std::to_string(expected) +
               " bytes, inside " + SectionAt(actual, p, n);
    if (actual > expected)
        return "file is " + std::to_string(actual) + " bytes long, but its " + std::to_string(p) +
               " reference temperatures and " + std::to_string(n) + " samples take " +
               std::to_string(expected);
    return {};
}

std::string Named(const std::filesystem::path& fileName, const std::string& fault) {
    return fileName.string() + ": " + fault;
}
} // namespace

std::uint64_t MeasureFileSize(std::uint64_t p, std::uint64_t n) {
    std::uint64_t size = SatAdd(MeasureFileHeaderSize, SatMul(MeasureFileSampleSize, n));
    if (p == 0)
        return size;
    size = SatAdd(size, SatMul(8, p));
    return SatAdd(size, SatMul(n, SatAdd(4, SatMul(MeasureFilePointSize, p))));
}

std::string EncodeMeasureFile(const CMeasrueData& store,
                              const std::vector<std::unique_ptr<CSample>>& samples) {
    const std::size_t p = store.GetTemperatureCount();
    const std::size_t n = samples.size();
    CByteWriter out(static_cast<std::size_t>(MeasureFileSize(p, n)));
    out.Raw(Magic, MagicSize);
    out.U8(FormatVersion);
    out.U32(static_cast<std::uint32_t>(p));
    out.U32(static_cast<std::uint32_t>(n));
    for (const auto& sample : samples) {
        out.I32(sample->GetDevId());
        out.F64(sample->GetA(usMilli));
        out.F64(sample->GetB(usMilli));
        out.F64(sample->GetL(usMilli));
        out.F64(sample->GetWireL(usMilli));
        out.F64(sample->GetWireD(usMilli));
        out.F64(sample->GetCurrent(usMilli));
    }
    if (p == 0)
        return out.Take();
    for (std::size_t k = 0; k < p; ++k)
        out.F64(store.GetTref(k));
    for (std::size_t j = 0; j < n; ++j) {
        out.U32(static_cast<std::uint32_t>(j));
        for (std::size_t k = 0; k < p; ++k) {
            out.F64(store.GetTamb(k, j));
            const _sMeasurePoint& point = store.GetPoint(k, j);
            for (int mode : {mmOff, mmDcPlus, mmDcMinus, mmAc}) {
                const _sModeData& m = point.Mode[static_cast<std::size_t>(mode)];
                out.U8(m.bMeasured ? 1 : 0);
                out.F64(m.dT1);
                out.F64(m.dT2);
                out.F64(m.dU);
                out.F64(m.dI);
            }
        }
    }
    return out.Take();
}

std::string DecodeMeasureFile(std::string_view bytes, _sMeasureFile& file) {
    std::uint32_t p = 0;
    std::uint32_t n = 0;
    if (std::string fault = CheckHeader(bytes, p, n); !fault.empty())
        return fault;
    // Nothing sized by a count is allocated before the counts agree with the real length.
    if (std::string fault = CheckLength(bytes.size(), p, n); !fault.empty())
        return fault;
    if (p > MaxMeasureFileTemperatures)
        return "file holds " + std::to_string(p) + " reference temperatures; at most " +
               std::to_string(MaxMeasureFileTemperatures) + " can be loaded";

    _sMeasureFile decoded;
    CByteReader in(bytes);
    in.Skip(MeasureFileHeaderSize);
    decoded.Samples.resize(n);
    for (_sMeasureFileSample& s : decoded.Samples) {
        s.iDevId = in.I32();
        s.dA = in.F64();
        s.dB = in.F64();
        s.dL = in.F64();
        s.dWireL = in.F64();
        s.dWireD = in.F64();
        s.dCurrent = in.F64();
    }
    if (p > 0) {
        decoded.Tref.resize(p);
        for (double& tref : decoded.Tref)
            tref = in.F64();
        decoded.Points.resize(std::size_t{n} * p);
        for (std::size_t j = 0; j < n; ++j) {
            in.Skip(4); // the block's own index; readers have always ignored it
            for (std::size_t k = 0; k < p; ++k) {
                _sMeasurePoint& point = decoded.Points[j * p + k];
                point.dTamb = in.F64();
                for (int mode : {mmOff, mmDcPlus, mmDcMinus, mmAc}) {
                    _sModeData& m = point.Mode[static_cast<std::size_t>(mode)];
                    m.bMeasured = in.U8() == 1; // any other flag value reads as not measured
                    m.dT1 = in.F64();
                    m.dT2 = in.F64();
                    m.dU = in.F64();
                    m.dI = in.F64();
                }
            }
        }
    }
    file = std::move(decoded);
    return {};
}

void ApplyMeasureFile(const _sMeasureFile& file, CMeasrueData& store,
                      const std::vector<std::unique_ptr<CSample>>& samples) {
    const std::size_t n = std::min(file.Samples.size(), samples.size());
    // The new store is built on the side: should memory run out, the measurement in memory stays.
    CMeasrueData loaded;
    loaded.Items.reserve(file.Tref.size());
    for (std::size_t k = 0; k < file.Tref.size(); ++k) {
        loaded.AddTemperature(file.Tref[k]);
        for (const auto& sample : samples)
            loaded.AddPoint(sample.get());
    }
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t k = 0; k < file.Tref.size(); ++k) {
            const _sMeasurePoint& point = file.Point(j, k);
            loaded.SetTamb(k, j, point.dTamb);
            for (int mode = 0; mode < MeasureModeCount; ++mode) {
                const _sModeData& m = point.Mode[static_cast<std::size_t>(mode)];
                loaded.SetModeData(k, j, mode, m.dT1, m.dT2, m.dU, m.dI, m.bMeasured);
            }
        }
    }

    for (std::size_t i = 0; i < n; ++i) {
        const _sMeasureFileSample& s = file.Samples[i];
        CSample& sample = *samples[i];
        sample.SetDevId(s.iDevId);
        sample.SetA(s.dA, usMilli);
        sample.SetB(s.dB, usMilli);
        sample.SetL(s.dL, usMilli);
        sample.SetWireL(s.dWireL, usMilli);
        sample.SetWireD(s.dWireD, usMilli);
        sample.SetCurrent(s.dCurrent, usMilli);
    }
    store.Items = std::move(loaded.Items);
}

FileResult ReadMeasureFile(const std::filesystem::path& fileName, _sMeasureFile& file) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return FileResult::Failure(Named(fileName, std::string("cannot open: ") + std::strerror(errno)));
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec))
        return FileResult::Failure(Named(fileName, "is a folder, not a file"));

    // Judge the header and the length before reading the rest, so that a wrong or absurdly large
    // file is turned away without reading it.
    std::string head(MeasureFileHeaderSize, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    std::uint32_t p = 0;
    std::uint32_t n = 0;
    if (std::string fault = CheckHeader(head, p, n); !fault.empty())
        return FileResult::Failure(Named(fileName, fault));
    const auto size = std::filesystem::file_size(fileName, ec);
    if (ec)
        return FileResult::Failure(Named(fileName, "cannot read: " + ec.message()));
    if (std::string fault = CheckLength(size, p, n); !fault.empty())
        return FileResult::Failure(Named(fileName, fault));

    std::string bytes;
    if (FileResult read = ReadWholeFile(fileName, bytes); !read)
        return read;
    if (std::string fault = DecodeMeasureFile(bytes, file); !fault.empty())
        return FileResult::Failure(Named(fileName, fault)); // the file changed while being read
    return FileResult::Success();
}

FileResult SaveMeasureFile(const std::filesystem::path& fileName, const CMeasrueData& store,
                           const std::vector<std::unique_ptr<CSample>>& samples) {
    return WriteFileAtomically(fileName, EncodeMeasureFile(store, samples));
}

FileResult SaveMeasureFile(const std::filesystem::path& fileName, const GlobalValue& g) {
    return SaveMeasureFile(fileName, g.MeasureData, g.Samples);
}

FileResult LoadMeasureFile(const std::filesystem::path& fileName, CMeasrueData& store,
                           const std::vector<std::unique_ptr<CSample>>& samples) {
    _sMeasureFile file;
    if (FileResult read = ReadMeasureFile(fileName, file); !read)
        return read;
    ApplyMeasureFile(file, store, samples);
    return FileResult::Success();
}

FileResult LoadMeasureFile(const std::filesystem::path& fileName, GlobalValue& g) {
    return LoadMeasureFile(fileName, g.MeasureData, g.Samples);
}
