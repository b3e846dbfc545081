#include "model/uinifile.h"

#include "model/unumtext.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {
bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct Line {
    std::size_t Begin; // offset of the first character
    std::size_t End;   // offset of the line end (or the end of the text)
};
} // namespace

void SetIniKeyInText(std::string& text, std::string_view section, std::string_view key,
                     std::string_view value) {
    std::vector<Line> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::size_t contentEnd = end;
        if (contentEnd > pos && text[contentEnd - 1] == '\r')
            --contentEnd;
        lines.push_back({pos, contentEnd});
        pos = end + 1;
    }
    const std::string newline = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";

    bool inSection = false;
    std::size_t insertAt = std::string::npos; // after the last non-blank line of the section
    for (const Line& line : lines) {
        const std::string_view content =
            TrimBlanks(std::string_view(text).substr(line.Begin, line.End - line.Begin));
        if (content.size() >= 2 && content.front() == '[' && content.find(']') != std::string_view::npos) {
            if (inSection)
                break;
            inSection = SameName(TrimBlanks(content.substr(1, content.find(']') - 1)), section);
            if (inSection)
                insertAt = line.End;
            continue;
        }
        if (!inSection || content.empty())
            continue;
        insertAt = line.End;
        if (content.front() == ';' || content.front() == '#')
            continue;
        const auto eq = content.find('=');
        if (eq != std::string_view::npos && SameName(TrimBlanks(content.substr(0, eq)), key)) {
            // Replace the value after '=', keeping the key as written and the blank after '='.
            const std::size_t eqPos = text.find('=', line.Begin);
            std::size_t valueBegin = eqPos + 1;
            while (valueBegin < line.End && (text[valueBegin] == ' ' || text[valueBegin] == '\t'))
                ++valueBegin;
            text.replace(valueBegin, line.End - valueBegin, value);
            return;
        }
    }
    const std::string entry = std::string(key) + "=" + std::string(value);
    if (insertAt != std::string::npos) {
        text.insert(insertAt, newline + entry);
        return;
    }
    if (!text.empty() && text.back() != '\n')
        text += newline;
    if (!text.empty())
        text += newline;
    text += "[" + std::string(section) + "]" + newline + entry + newline;
}

FileResult SetIniKeyInFile(const std::filesystem::path& path, std::string_view section, std::string_view key,
                           std::string_view value) {
    std::string text;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        // An existing file that cannot be read is left alone rather than replaced by one key.
        if (FileResult read = ReadWholeFile(path, text, std::size_t{16} << 20); !read)
            return read;
    }
    SetIniKeyInText(text, section, key, value);
    return WriteFileAtomically(path, text);
}
