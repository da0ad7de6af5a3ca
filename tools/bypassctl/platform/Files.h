// Files other processes read while bypassctl writes them: pid files and
// keepalive's status file.
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
// A pid file's text, at most a line's worth; false, errno set, when it
// cannot be read.
bool ReadPidText(const std::string& path, std::string& text);
// The pid a file holds; -1 when it cannot be read or holds none.
long ReadPid(const std::string& path);

// Readers of the file never see half of it: the new text replaces the old
// in one rename. Answers why it failed, empty when it did not.
std::string WriteFileAtomically(const std::string& path, const std::string& text);

} // namespace bypassctl
