#include "common/file_access.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "host_error.h"

namespace mphost {

namespace {

std::string kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "is a folder, not a regular file";
    if (S_ISFIFO(mode))
        return "is a FIFO, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device, not a regular file";
    if (S_ISSOCK(mode))
        return "is a socket, not a regular file";
    return S_ISREG(mode) ? "" : "is not a regular file";
}

std::string quoted(const std::filesystem::path& path)
{
    return std::string("'").append(path.string()).append("'");
}

std::filesystem::path folderOf(const std::filesystem::path& target)
{
    const auto parent = target.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

}  // namespace

std::string notRegularFile(const std::filesystem::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? "does not exist" : std::strerror(errno);
    return kindOf(info.st_mode);
}

std::string readDocument(const std::filesystem::path& path, const std::string& what, std::uintmax_t limit)
{
    const std::string failure = "cannot read " + what + " " + quoted(path) + ": ";
    // Looked at before opening: opening a FIFO waits for a writer, for ever.
    if (const std::string wrong = notRegularFile(path); !wrong.empty())
        throw HostError(failure + "it " + wrong);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw HostError(failure + std::strerror(errno));
    std::string content;
    try {
        struct stat info {};
        if (::fstat(fd, &info) != 0)
            throw HostError(failure + std::strerror(errno));
        if (const std::string wrong = kindOf(info.st_mode); !wrong.empty())  // replaced since
            throw HostError(failure + "it " + wrong);
        if (static_cast<std::uintmax_t>(info.st_size) > limit)
            throw HostError(failure + "it is " + std::to_string(info.st_size) + " bytes, more than the " +
                            std::to_string(limit / (1024 * 1024)) + " MiB such files may have");
        content.resize(static_cast<std::size_t>(info.st_size));
        std::size_t filled = 0;
        while (filled < content.size()) {
            const ssize_t count = ::read(fd, content.data() + filled, content.size() - filled);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                throw HostError(failure + std::strerror(errno));
            if (count == 0)
                break;  // shortened while reading
            filled += static_cast<std::size_t>(count);
        }
        content.resize(filled);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return content;
}

void checkWritable(const std::filesystem::path& target, const std::string& what)
{
    const std::string failure = "cannot write " + what + " " + quoted(target) + ": ";
    const auto folder = folderOf(target);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        throw HostError(failure + "the folder " + quoted(folder) + " does not exist");
    if (!S_ISDIR(info.st_mode))
        throw HostError(failure + quoted(folder) + " is not a folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw HostError(failure + "the folder " + quoted(folder) + " is not writable");
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw HostError(failure + "it " + kindOf(info.st_mode));
}

AtomicFile::AtomicFile(std::filesystem::path targetFile) : target(std::move(targetFile))
{
    checkWritable(target, "file");
    const std::string pattern = (folderOf(target) / std::string(".").append(target.filename().string()).append(".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd = ::mkstemp(name.data());
    if (fd < 0)
        throw HostError("cannot write " + quoted(target) + ": " + std::strerror(errno));
    temporary = name.data();
    // The permissions a newly created file gets (mkstemp makes it private to the owner);
    // an existing target keeps its own.
    struct stat info {};
    mode_t mode = 0;
    if (::stat(target.c_str(), &info) == 0) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
}

AtomicFile::~AtomicFile()
{
    discard();
}

void AtomicFile::commit()
{
    if (done)
        throw HostError("cannot write " + quoted(target) + ": already finished");
    int failure = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    fd = -1;
    if (failure != 0) {
        discard();
        throw HostError("cannot write " + quoted(target) + ": " + std::strerror(failure));
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        discard();
        throw HostError("cannot write " + quoted(target) + ": " + std::strerror(renameError));
    }
    done = true;
}

void AtomicFile::discard()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    if (!done && !temporary.empty())
        ::unlink(temporary.c_str());
    done = true;
}

}  // namespace mphost
