#include "files/uatomicfile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string Describe(const std::filesystem::path& path, const char* what) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Creates a new file beside target for writing. It is opened with mode 0666, so the process's
// umask (and a default ACL of the folder) applies just as to any other new file; reading the umask
// instead would mean setting it for a moment, which races with every other thread creating files.
int CreateTemporaryBeside(const std::filesystem::path& folder, const std::filesystem::path& target,
                          std::filesystem::path& temp) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix = "." + target.filename().string() + "." + std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder / (prefix + std::to_string(counter++) + ".tmp");
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}
} // namespace

FileResult WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::filesystem::path temp;
    const int fd = CreateTemporaryBeside(folder, target, temp);
    if (fd < 0)
        return FileResult::Failure(Describe(target, "Cannot create a file beside"));

    bool ok = WriteAll(fd, bytes);
    std::string message = ok ? std::string{} : Describe(target, "Cannot write");
    // A file that is replaced keeps its permissions.
    struct stat st {};
    if (ok && ::stat(target.c_str(), &st) == 0 && ::fchmod(fd, st.st_mode & 07777) != 0) {
        ok = false;
        message = Describe(target, "Cannot set the permissions of");
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        message = Describe(target, "Cannot flush");
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        message = Describe(target, "Cannot close");
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        message = Describe(target, "Cannot replace");
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return FileResult::Failure(message);
    }
    // Make the rename itself durable; a failure here does not undo a complete file.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return FileResult::Success();
}

FileResult ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::size_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return FileResult::Failure(Describe(path, "Cannot open"));
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return FileResult::Failure(Describe(path, "Cannot read"));
    if (static_cast<std::uintmax_t>(size) > maxBytes)
        return FileResult::Failure(path.string() + " is too large (" + std::to_string(size) + " bytes)");
    std::string data(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(data.data(), size))
        return FileResult::Failure(Describe(path, "Cannot read"));
    bytes = std::move(data);
    return FileResult::Success();
}
