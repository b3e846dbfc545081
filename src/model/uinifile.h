#pragma once

#include "files/uatomicfile.h"

#include <filesystem>
#include <string>
#include <string_view>

// Sets one key of an INI text, keeping every other byte as it is: comments, blank lines, order,
// spacing and line ends. Section and key names compare without regard to ASCII case, as the
// reader does. A missing key is added at the end of its section, a missing section at the end.
void SetIniKeyInText(std::string& text, std::string_view section, std::string_view key,
                     std::string_view value);

// The same on a file, written atomically; a missing file is created.
FileResult SetIniKeyInFile(const std::filesystem::path& path, std::string_view section, std::string_view key,
                           std::string_view value);
