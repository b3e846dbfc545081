#pragma once

// The recovery copy: what the program keeps on disk while the measurement in memory has unsaved
// changes, so that a crash, a power cut or a killed process loses nothing that was stored.
//
// It holds the whole measurement file plus what that format leaves out (each sample's bUse), in a
// small container of our own (little-endian, no gaps):
//   magic     8 bytes   "QM47RCVY"
//   version   1 byte    1
//   N         u32       number of use flags (the measurement file's sample count)
//   use       N bytes   bUse of samples 0..N-1, 0 or 1
//   L         u64       length of the measurement file that follows
//   file      L bytes   the measurement file, exactly as SaveMeasureFile writes it
//   crc       u32       CRC-32 (IEEE) of every byte before it
// The check sum catches a copy that a power cut left half on the platter, which an atomic rename
// alone does not rule out on every file system.

#include "files/uatomicfile.h"
#include "files/usaveloadfile.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CMeasrueData;
class CSample;

// A recovery copy, checked and decoded, not yet applied to anything.
struct _sRecoveryFile {
    _sMeasureFile Measure;
    std::vector<bool> Use; // one per sample of Measure.Samples
};

// CRC-32 as zip and PNG compute it.
std::uint32_t Crc32(std::string_view bytes);

std::string EncodeRecoveryFile(const CMeasrueData& store,
                               const std::vector<std::unique_ptr<CSample>>& samples);

// Checks all of bytes (container, check sum, the measurement file inside) and decodes it. On failure
// returns the fault in a few words and leaves file as it was; on success returns "".
std::string DecodeRecoveryFile(std::string_view bytes, _sRecoveryFile& file);

// Replaces the store and the sample descriptions as loading the measurement file would, and takes
// the use flags of the first min(N, samples.size()) samples.
void ApplyRecoveryFile(const _sRecoveryFile& file, CMeasrueData& store,
                       const std::vector<std::unique_ptr<CSample>>& samples);

// Writes bytes atomically to path, creating its folder first.
FileResult WriteFileCreatingFolder(const std::filesystem::path& path, std::string_view bytes);

// Writes the copy atomically, creating its folder first.
FileResult WriteRecoveryFile(const std::filesystem::path& path, const CMeasrueData& store,
                             const std::vector<std::unique_ptr<CSample>>& samples);

// Reads and checks the whole copy before it replaces anything: a damaged copy changes nothing.
FileResult LoadRecoveryFile(const std::filesystem::path& path, CMeasrueData& store,
                            const std::vector<std::unique_ptr<CSample>>& samples);

// The user's data folder for this program: $XDG_DATA_HOME/qm4750, or ~/.local/share/qm4750 when
// XDG_DATA_HOME is unset or not absolute. Empty when neither that nor HOME is known.
std::filesystem::path DefaultRecoveryFolder();

// The one recovery copy of a folder.
std::filesystem::path RecoveryFilePath(const std::filesystem::path& folder);

// Moves the copy aside under a name with the time stamp ("recovery-20240131-142501.q47r", with
// "-2", "-3", ... when that name is taken) so that a later copy does not replace it. On success
// asideName holds the new path.
FileResult SetRecoveryFileAside(const std::filesystem::path& path, std::chrono::system_clock::time_point now,
                                std::filesystem::path& asideName);

// Removes the copy; a copy that is not there is no failure.
FileResult RemoveRecoveryFile(const std::filesystem::path& path);
