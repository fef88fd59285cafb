// Files the host reads and writes on behalf of its user: input read only when it is a
// regular file of bounded size (a FIFO, a device or a huge file is refused before any
// read), and output written to a temporary file in the target's folder that replaces the
// target only once complete and flushed, so a failed or interrupted write leaves the
// previous file as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace mphost {

// Largest patch or descriptions file read, in bytes.
constexpr std::uintmax_t maxDocumentBytes = 64u * 1024u * 1024u;

// Empty for a regular file (symbolic links followed); otherwise what the path is instead:
// "does not exist", "is a folder, not a regular file", "is a FIFO, not a regular file", ...
std::string notRegularFile(const std::filesystem::path& path);

// The whole content of `path`. Throws HostError "cannot read <what> '<path>': <reason>"
// for anything but a readable regular file of at most `limit` bytes.
std::string readDocument(const std::filesystem::path& path, const std::string& what,
                         std::uintmax_t limit = maxDocumentBytes);

// Throws HostError unless `target` can be replaced by a new file: its folder exists and is
// writable, and the target, if present, is a regular file.
void checkWritable(const std::filesystem::path& target, const std::string& what);

// A new file that becomes `target` on commit(). Until then the content lives in a
// temporary file ".<name>.XXXXXX" beside the target, removed by the destructor.
class AtomicFile {
public:
    // Creates the temporary file; throws HostError naming `target` when it cannot.
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The open temporary file, for writers that take a descriptor.
    int descriptor() const { return fd; }
    // Its name, for writers that open files by name.
    const std::filesystem::path& temporaryPath() const { return temporary; }
    const std::filesystem::path& targetPath() const { return target; }

    // Flushes the temporary file to disk and renames it over the target. Throws HostError
    // (and removes the temporary) on failure.
    void commit();
    // Removes the temporary file; the target stays as it was.
    void discard();

private:
    std::filesystem::path target;
    std::filesystem::path temporary;
    int fd = -1;
    bool done = false;
};

}  // namespace mphost
