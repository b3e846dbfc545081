#pragma once

// The results export (*.txt): tab-separated text with CR LF line ends, written for people and
// other tools, never read back by the program.

#include "files/uatomicfile.h"
#include "model/cmeasuredata.h"

#include <ctime>
#include <filesystem>
#include <string>

// The whole text of the export of store, with localTime in its title line. A value that cannot be
// computed for a complete point is written as "-" in its column; the rest of the file is written.
std::string ComposeResultText(const CMeasrueData& store, const std::tm& localTime);

// Writes the export with the current local time, atomically: a failed export leaves a previous
// file of that name as it was and says why.
FileResult ExportResultFile(const std::filesystem::path& fileName, const CMeasrueData& store);
