#pragma once

// The measurement file (*.q47): the sample descriptions and every measurement point of the store,
// little-endian binary with the magic "QM4750" and format version 1.
//
// Layout (no gaps, no alignment; N samples, P reference temperatures):
//   header      15 bytes   "QM4750", version byte 1, u32 P, u32 N
//   N samples   52 bytes   i32 iDevId, then A, B, L, WireL, WireD in mm and the current in mA (doubles)
//   if P > 0:
//   Tref table  8*P bytes  dTref of every reference temperature, kelvin
//   N blocks    4 + 140*P  u32 block index j, then for every reference temperature the point of
//                          sample j: dTamb, then modes OFF, DC+, DC-, AC of 33 bytes each
//                          (u8 measured flag, dT1, dT2, dU, dI as the store holds them)

#include "files/uatomicfile.h"
#include "model/cmeasuredata.h"
#include "model/csample.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class GlobalValue;

inline constexpr std::size_t MeasureFileHeaderSize = 15;
inline constexpr std::size_t MeasureFileSampleSize = 52;
inline constexpr std::size_t MeasureFilePointSize = 140;
inline constexpr std::size_t MeasureFileModeSize = 33;
// Most reference temperatures a file may hold. Each one becomes SampleCount points in memory even
// when the file holds no sample blocks, so a small damaged file could otherwise ask for gigabytes.
// Far beyond any plan (a range adds at most one temperature per kelvin between Tmin and Tmax).
inline constexpr std::uint32_t MaxMeasureFileTemperatures = 100000;

// Length of a file that holds p reference temperatures and n samples (saturates instead of
// overflowing, so that absurd counts from a damaged header compare as "too long").
std::uint64_t MeasureFileSize(std::uint64_t p, std::uint64_t n);

// One sample description as the file holds it: millimetres and milliamperes.
struct _sMeasureFileSample {
    std::int32_t iDevId = 0;
    double dA = 0.0;
    double dB = 0.0;
    double dL = 0.0;
    double dWireL = 0.0;
    double dWireD = 0.0;
    double dCurrent = 0.0;
};

// The whole content of a measurement file, checked and decoded, not yet applied to anything.
struct _sMeasureFile {
    std::vector<_sMeasureFileSample> Samples; // N
    std::vector<double> Tref;                 // P
    // N * P points, sample-major: the point of sample j at reference temperature k is at j * P + k.
    // pSample is null; the points belong to no store yet.
    std::vector<_sMeasurePoint> Points;

    const _sMeasurePoint& Point(std::size_t sample, std::size_t temperature) const {
        return Points[sample * Tref.size() + temperature];
    }
};

// The bytes of a measurement file for the store and the samples (N is samples.size()).
std::string EncodeMeasureFile(const CMeasrueData& store,
                              const std::vector<std::unique_ptr<CSample>>& samples);

// Checks the whole of bytes (magic, version, the length the counts call for) and decodes it into
// file. On failure returns the fault in a few words ("not a QM4750 measurement file",
// "file ends after 412 of 1039 bytes") and leaves file as it was; on success returns "".
std::string DecodeMeasureFile(std::string_view bytes, _sMeasureFile& file);

// Replaces the store's content with the file's and takes the first min(N, samples.size())
// descriptions into the samples. Every reference temperature gets one point per sample; points of
// samples beyond the file's N stay blank, blocks beyond samples.size() are not used.
void ApplyMeasureFile(const _sMeasureFile& file, CMeasrueData& store,
                      const std::vector<std::unique_ptr<CSample>>& samples);

// Reads and checks a whole measurement file without applying it. The message names the file.
FileResult ReadMeasureFile(const std::filesystem::path& fileName, _sMeasureFile& file);

// Writes the measurement file atomically: a failed save leaves the previous file as it was.
FileResult SaveMeasureFile(const std::filesystem::path& fileName, const CMeasrueData& store,
                           const std::vector<std::unique_ptr<CSample>>& samples);
FileResult SaveMeasureFile(const std::filesystem::path& fileName, const GlobalValue& g);

// Reads a measurement file into the store and the samples. The file is read and checked whole
// first: a file that cannot be read or is not whole changes nothing and the message says why.
FileResult LoadMeasureFile(const std::filesystem::path& fileName, CMeasrueData& store,
                           const std::vector<std::unique_ptr<CSample>>& samples);
FileResult LoadMeasureFile(const std::filesystem::path& fileName, GlobalValue& g);
