#include "platform/FilesLinux.h"
#include "platform/Files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace bypassctl {
namespace {

// A pid file is a line; more than a few dozen bytes is not one.
constexpr off_t kPidFileLimit = 64;

std::string Owners(const struct stat& info)
{
    return "belongs to uid " + std::to_string(info.st_uid) + ", not to this user (uid "
        + std::to_string(geteuid()) + ")";
}

// What is wrong with a file opened as ours: anything but a regular file
// (a FIFO, a device), or another user's file.
std::string NotOwnFile(const std::string& path, const struct stat& info)
{
    if (!S_ISREG(info.st_mode))
        return path + " is not a regular file";
    if (info.st_uid != geteuid())
        return path + " " + Owners(info);
    return "";
}

std::string OpenFailure(const std::string& path, int error)
{
    if (error == ELOOP)
        return path + " is a symbolic link";
    return path + ": " + std::strerror(error);
}

// Made 0700 when missing; an existing one is looked at, not followed.
std::string OwnDirectoryProblem(const std::string& directory)
{
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return "cannot make " + directory + ": " + std::strerror(errno);
    struct stat info;
    if (lstat(directory.c_str(), &info) != 0)
        return directory + ": " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return directory + " is not a directory";
    if (info.st_uid != geteuid())
        return directory + " " + Owners(info);
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return directory + " is writable by other users";
    return "";
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
    problem = OwnDirectoryProblem(DirectoryOf(path));
    if (!problem.empty())
        return -1;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        problem = OpenFailure(path, errno);
        return -1;
    }
    struct stat info;
    problem = fstat(fd, &info) != 0 ? OpenFailure(path, errno) : NotOwnFile(path, info);
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
