#include "platform/FilesLinux.h"
#include "platform/Files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bypassctl {
namespace {

// A pid file is a line; more than a few dozen bytes is not one.
constexpr off_t kPidFileLimit = 64;

// The group of /dev/porttalk. Its members drive the boards' ports through
// the device anyway, so a directory they may write into is still one to keep
// the board's locks in.
constexpr char kPortGroup[] = "bypassctl";

// Where a lock file lives: a directory of root's or this user's, and whether
// it is shared with the port group.
struct LockDirectory {
    std::string problem;
    bool shared = false;
    gid_t group = 0;
};

bool IsPortGroup(gid_t gid)
{
    struct group entry;
    struct group* found = nullptr;
    char buffer[4096];
    return getgrnam_r(kPortGroup, &entry, buffer, sizeof buffer, &found) == 0 && found
        && found->gr_gid == gid;
}

std::string Owners(const struct stat& info)
{
    return "belongs to uid " + std::to_string(info.st_uid) + ", neither root nor this user (uid "
        + std::to_string(geteuid()) + ")";
}

bool TrustedOwner(uid_t uid) { return uid == geteuid() || uid == 0; }

// What is wrong with a file opened as ours: anything but a regular file
// (a FIFO, a device), a second name of a file elsewhere (a hard link to
// /etc/shadow), a file anyone may write, or one of another user, unless
// the directory is shared with the port group and the file is the group's.
std::string FileProblem(const std::string& path, const struct stat& info, const LockDirectory& dir)
{
    if (!S_ISREG(info.st_mode))
        return path + " is not a regular file";
    if (info.st_nlink != 1)
        return path + " is a hard link (" + std::to_string(info.st_nlink) + " names)";
    if (info.st_mode & S_IWOTH)
        return path + " is writable by other users";
    if (!TrustedOwner(info.st_uid) && !(dir.shared && info.st_gid == dir.group))
        return path + " " + Owners(info);
    return "";
}

// A file this process made or owns in a shared directory is the group's,
// 0660 whatever the umask, so that root and the service user both open it.
std::string ShareFile(
    const std::string& path, int fd, const struct stat& info, const LockDirectory& dir)
{
    if (!dir.shared || info.st_uid != geteuid())
        return "";
    if ((info.st_gid != dir.group && fchown(fd, static_cast<uid_t>(-1), dir.group) != 0)
        || ((info.st_mode & 07777) != 0660 && fchmod(fd, 0660) != 0))
        return "cannot share " + path + " with group " + kPortGroup + ": " + std::strerror(errno);
    return "";
}

std::string OpenFailure(const std::string& path, int error)
{
    if (error == ELOOP)
        return path + " is a symbolic link";
    return path + ": " + std::strerror(error);
}

// Made 0700 when missing; an existing one is looked at, not followed. It is
// root's or this user's, no other may write into it, and its group only
// when that is the port group.
LockDirectory CheckLockDirectory(const std::string& directory)
{
    LockDirectory dir;
    struct stat info;
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        dir.problem = "cannot make " + directory + ": " + std::strerror(errno);
    else if (lstat(directory.c_str(), &info) != 0)
        dir.problem = directory + ": " + std::strerror(errno);
    else if (!S_ISDIR(info.st_mode))
        dir.problem = directory + " is not a directory";
    else if (!TrustedOwner(info.st_uid))
        dir.problem = directory + " " + Owners(info);
    else if (info.st_mode & S_IWOTH)
        dir.problem = directory + " is writable by other users";
    else if ((info.st_mode & S_IWGRP) && !IsPortGroup(info.st_gid))
        dir.problem = directory + " is writable by its group, which is not " + kPortGroup;
    else {
        dir.shared = info.st_mode & S_IWGRP;
        dir.group = info.st_gid;
    }
    return dir;
}

std::string DirectoryOf(const std::string& path)
{
    const std::string directory = std::filesystem::path(path).parent_path().string();
    return directory.empty() ? "." : directory;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno != EINTR)
            return false;
        done += written > 0 ? static_cast<std::size_t>(written) : 0;
    }
    return true;
}

} // namespace

std::FILE* OpenFile(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}

int OpenOwnFile(const std::string& path, std::string& problem)
{
    const LockDirectory dir = CheckLockDirectory(DirectoryOf(path));
    problem = dir.problem;
    if (!problem.empty())
        return -1;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
        dir.shared ? 0660 : 0600);
    if (fd < 0) {
        problem = OpenFailure(path, errno);
        return -1;
    }
    struct stat info;
    problem = fstat(fd, &info) != 0 ? OpenFailure(path, errno) : FileProblem(path, info, dir);
    if (problem.empty())
        problem = ShareFile(path, fd, info, dir);
    if (problem.empty())
        return fd;
    close(fd);
    return -1;
}

bool ReadPidText(const std::string& path, std::string& text)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    int error = fstat(fd, &info) != 0 ? errno : 0;
    if (!error && !S_ISREG(info.st_mode))
        error = EINVAL;
    if (!error && info.st_size > kPidFileLimit)
        error = EFBIG;
    char buffer[kPidFileLimit];
    const ssize_t length = error ? -1 : read(fd, buffer, sizeof buffer);
    if (!error && length < 0)
        error = errno;
    close(fd);
    errno = error;
    text.assign(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
    return !error;
}

std::string WriteOwnFile(const std::string& path, const std::string& text)
{
    std::string problem;
    const int fd = OpenOwnFile(path, problem);
    if (fd < 0)
        return problem;
    const bool written = ftruncate(fd, 0) == 0 && WriteAll(fd, text);
    const int error = errno;
    close(fd);
    return written ? "" : "cannot write " + path + ": " + std::strerror(error);
}

// mkstemp makes a new file of a name nobody could have planted: O_EXCL, no
// link followed. 0644 so that monitoring, not root, can read what replaces
// the target.
std::string WriteFileAtomically(const std::string& path, const std::string& text)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return "cannot make a temporary file beside " + path + ": " + std::strerror(errno);
    int error = 0;
    if (fchmod(fd, 0644) != 0 || !WriteAll(fd, text + '\n') || fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && !error)
        error = errno;
    if (!error && rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (!error)
        return "";
    unlink(temporary.c_str());
    return "cannot write " + path + ": " + std::strerror(error);
}

} // namespace bypassctl
