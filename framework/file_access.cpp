#include "file_access.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace mp_files {

namespace {

std::string kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return "";
    if (S_ISDIR(mode))
        return "is a folder, not a regular file";
    if (S_ISFIFO(mode))
        return "is a FIFO, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device, not a regular file";
    if (S_ISSOCK(mode))
        return "is a socket, not a regular file";
    return "is not a regular file";
}

}  // namespace

std::string notRegularFile(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? "does not exist" : std::strerror(errno);
    return kindOf(info.st_mode);
}

bool replaceFile(const std::string& path, const void* data, std::size_t size, std::string& reason)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        reason = "the name is a folder";
        return false;
    }
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        reason = "it " + kindOf(info.st_mode);
        return false;
    }
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        reason = "the folder '" + folder + "' does not exist";
        return false;
    }

    std::string pattern = folder + "/." + name + ".XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    // The permissions a newly created file would get; an existing target keeps its own.
    mode_t mode = 0;
    if (exists && ::stat(path.c_str(), &info) == 0) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);

    int failure = 0;
    const auto* bytes = static_cast<const char*>(data);
    std::size_t written = 0;
    while (written < size && failure == 0) {
        const ssize_t count = ::write(fd, bytes + written, size - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            failure = count < 0 ? errno : ENOSPC;
        else
            written += static_cast<std::size_t>(count);
    }
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temporary.data(), path.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.data());
        reason = std::strerror(failure);
        return false;
    }
    return true;
}

}  // namespace mp_files
