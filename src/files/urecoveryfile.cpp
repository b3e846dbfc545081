#include "files/urecoveryfile.h"

#include "model/cmeasuredata.h"
#include "model/csample.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {
constexpr char Magic[] = {'Q', 'M', '4', '7', 'R', 'C', 'V', 'Y'};
constexpr std::size_t MagicSize = sizeof(Magic);
constexpr std::uint8_t FormatVersion = 1;
// Magic, version and N.
constexpr std::size_t HeadSize = MagicSize + 1 + 4;
constexpr std::size_t LengthSize = 8;
constexpr std::size_t CrcSize = 4;
constexpr const char* FileName = "recovery.q47r";

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> CrcTable = MakeCrcTable();

void PutLe(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(static_cast<std::uint8_t>(v >> (8 * i))));
}

std::uint64_t GetLe(std::string_view bytes, std::size_t pos, int count) {
    std::uint64_t v = 0;
    for (int i = 0; i < count; ++i)
        v |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(bytes[pos + static_cast<std::size_t>(i)]))
             << (8 * i);
    return v;
}
} // namespace

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (char ch : bytes)
        c = CrcTable[(c ^ static_cast<std::uint8_t>(ch)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string EncodeRecoveryFile(const CMeasrueData& store,
                               const std::vector<std::unique_ptr<CSample>>& samples) {
    const std::string measure = EncodeMeasureFile(store, samples);
    std::string out;
    out.reserve(HeadSize + samples.size() + LengthSize + measure.size() + CrcSize);
    out.append(Magic, MagicSize);
    out.push_back(static_cast<char>(FormatVersion));
    PutLe(out, samples.size(), 4);
    for (const auto& sample : samples)
        out.push_back(sample->GetUse() ? 1 : 0);
    PutLe(out, measure.size(), 8);
    out += measure;
    PutLe(out, Crc32(out), 4);
    return out;
}

std::string DecodeRecoveryFile(std::string_view bytes, _sRecoveryFile& file) {
    if (bytes.size() < HeadSize || std::memcmp(bytes.data(), Magic, MagicSize) != 0)
        return "not a QM4750 recovery copy";
    if (static_cast<std::uint8_t>(bytes[MagicSize]) != FormatVersion)
        return "recovery copy version " + std::to_string(static_cast<std::uint8_t>(bytes[MagicSize])) +
               " is not supported";
    const std::uint64_t n = GetLe(bytes, MagicSize + 1, 4);
    // Every count is checked against the bytes really present before it sizes anything.
    if (bytes.size() < HeadSize + n + LengthSize + CrcSize)
        return "recovery copy ends after " + std::to_string(bytes.size()) + " bytes, inside its head";
    const std::uint64_t length = GetLe(bytes, HeadSize + n, 8);
    const std::uint64_t expected = HeadSize + n + LengthSize + length + CrcSize;
    if (length > bytes.size() || bytes.size() != expected)
        return "recovery copy has " + std::to_string(bytes.size()) + " bytes where its counts call for " +
               std::to_string(expected);
    const std::string_view body = bytes.substr(0, bytes.size() - CrcSize);
    if (Crc32(body) != GetLe(bytes, body.size(), 4))
        return "recovery copy is damaged (check sum does not match)";

    _sRecoveryFile decoded;
    decoded.Use.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto flag = static_cast<std::uint8_t>(bytes[HeadSize + i]);
        if (flag > 1)
            return "recovery copy has a use flag of " + std::to_string(flag);
        decoded.Use[i] = flag == 1;
    }
    const std::string_view measure = bytes.substr(HeadSize + n + LengthSize, length);
    if (std::string fault = DecodeMeasureFile(measure, decoded.Measure); !fault.empty())
        return "measurement inside the recovery copy: " + fault;
    if (decoded.Measure.Samples.size() != n)
        return "recovery copy has " + std::to_string(n) + " use flags for " +
               std::to_string(decoded.Measure.Samples.size()) + " samples";
    file = std::move(decoded);
    return {};
}

void ApplyRecoveryFile(const _sRecoveryFile& file, CMeasrueData& store,
                       const std::vector<std::unique_ptr<CSample>>& samples) {
    ApplyMeasureFile(file.Measure, store, samples);
    const std::size_t n = std::min(file.Use.size(), samples.size());
    for (std::size_t i = 0; i < n; ++i)
        samples[i]->SetUse(file.Use[i]);
}

FileResult WriteFileCreatingFolder(const std::filesystem::path& path, std::string_view bytes) {
    std::error_code ec;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), ec);
    if (ec)
        return FileResult::Failure("Cannot create the folder " + path.parent_path().string() + ": " +
                                   ec.message());
    return WriteFileAtomically(path, bytes);
}

FileResult WriteRecoveryFile(const std::filesystem::path& path, const CMeasrueData& store,
                             const std::vector<std::unique_ptr<CSample>>& samples) {
    return WriteFileCreatingFolder(path, EncodeRecoveryFile(store, samples));
}

FileResult LoadRecoveryFile(const std::filesystem::path& path, CMeasrueData& store,
                            const std::vector<std::unique_ptr<CSample>>& samples) {
    std::string bytes;
    if (FileResult read = ReadWholeFile(path, bytes); !read)
        return read;
    _sRecoveryFile file;
    if (std::string fault = DecodeRecoveryFile(bytes, file); !fault.empty())
        return FileResult::Failure(path.string() + ": " + fault);
    ApplyRecoveryFile(file, store, samples);
    return FileResult::Success();
}

std::filesystem::path DefaultRecoveryFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && std::filesystem::path(xdg).is_absolute())
        return std::filesystem::path(xdg) / "qm4750";
    const char* home = std::getenv("HOME");
    if (home != nullptr && std::filesystem::path(home).is_absolute())
        return std::filesystem::path(home) / ".local" / "share" / "qm4750";
    return {};
}

std::filesystem::path RecoveryFilePath(const std::filesystem::path& folder) {
    return folder / FileName;
}

FileResult SetRecoveryFileAside(const std::filesystem::path& path, std::chrono::system_clock::time_point now,
                                std::filesystem::path& asideName) {
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", &local);
    const std::filesystem::path folder = path.parent_path();
    const std::string stem = path.stem().string() + "-" + stamp;
    const std::string ext = path.extension().string();
    for (int k = 1; k < 1000; ++k) {
        const std::filesystem::path candidate =
            folder / (stem + (k == 1 ? std::string{} : "-" + std::to_string(k)) + ext);
        std::error_code ec;
        if (std::filesystem::exists(candidate, ec) || ec)
            continue;
        std::filesystem::rename(path, candidate, ec);
        if (ec)
            return FileResult::Failure("Cannot set " + path.string() + " aside: " + ec.message());
        asideName = candidate;
        return FileResult::Success();
    }
    return FileResult::Failure("Cannot set " + path.string() + " aside: every time-stamped name is taken");
}

FileResult RemoveRecoveryFile(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec)
        return FileResult::Failure("Cannot remove " + path.string() + ": " + ec.message());
    return FileResult::Success();
}
