// Files other processes read while bypassctl writes them: pid files and
// keepalive's status file. Where other users can write, these files may be
// planted (a symbolic link to a file of root's, a FIFO that blocks its
// reader for ever), so they are never followed through a link, never waited
// on, and never longer than what they stand for.
#pragma once

#include <cstdio>
#include <string>

// windows.h names a function ReplaceFile too, a macro for ReplaceFileA or
// ReplaceFileW: it would rename the one below where windows.h came first.
#undef ReplaceFile

namespace bypassctl {

// fopen() of a UTF-8 path: on Windows through the wide call, since the
// narrow one reads the path in the ANSI code page.
std::FILE* OpenFile(const std::string& path, const char* mode);

// The pid of a daemon's pid file: decimal digits, optionally surrounded by
// white space ("1234\n"). Anything else is no pid at all, -1: in particular
// 0 and negative numbers, which kill() would take for a process group or
// for every process.
long ParsePid(const std::string& text);
// A pid file's text, at most a line's worth. false, errno set, when it
// cannot be read: ELOOP for a symbolic link, EINVAL for anything but a
// regular file (a FIFO is not waited on), EFBIG for more than a line.
bool ReadPidText(const std::string& path, std::string& text);
// The pid a file holds; -1 when it cannot be read or holds none.
long ReadPid(const std::string& path);

// Replaces the text of a file in bypassctl's own lock directory (the pid
// file keepalive leaves), made 0600 and never written through a link (on
// Windows, plainly). Answers why it failed, empty when it did not.
std::string WriteOwnFile(const std::string& path, const std::string& text);

// Readers of the file never see half of it: the new text goes into a new
// file beside it (mode 0644), reaches the disk, then replaces the old in one
// rename; nothing already there is written through. Answers why it failed,
// empty when it did not.
std::string WriteFileAtomically(const std::string& path, const std::string& text);
// Why a file cannot be made at path because its directory is missing;
// empty when the directory is there. Asked before arming, not at the first
// write.
std::string MissingDirectory(const std::string& path);

} // namespace bypassctl
