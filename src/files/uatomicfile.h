#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Outcome of a file operation that the caller shows to the operator.
struct FileResult {
    bool Ok = false;
    std::string Message; // empty when Ok

    static FileResult Success() { return {true, {}}; }
    static FileResult Failure(std::string message) { return {false, std::move(message)}; }
    explicit operator bool() const { return Ok; }
};

// Replaces target with bytes so that a reader sees either the old file or the whole new one:
// a temporary file in the same folder is written, flushed to disk and renamed over the target.
// A failure leaves the previous file as it was and says why.
FileResult WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Reads a whole file. maxBytes guards against reading something absurdly large by mistake.
FileResult ReadWholeFile(const std::filesystem::path& path, std::string& bytes,
                         std::size_t maxBytes = std::size_t{1} << 30);
