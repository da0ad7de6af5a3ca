// The board lock's directory and files on Linux. The directory is root's or
// this user's, shared at most with group bypassctl (root's /run/bypassctl for
// real boards, 2770 root:bypassctl, where user bypassctl runs keepalive), so
// no one outside the group can plant anything in it; its files are still
// opened as if one could have.
#pragma once

#include <string>

namespace bypassctl {

// Opens path read-write, creating it 0600 (and its directory 0700 when
// missing), or 0660 of group bypassctl in a directory shared with that group.
// Refused unless the directory is root's or this user's, writable by no
// other and by its group only when that is bypassctl, and the file a regular
// file with no other name, writable by no other, reached without a symbolic
// link and root's, this user's or (in a shared directory) the group's.
// Answers the descriptor, or -1 with problem saying why.
int OpenOwnFile(const std::string& path, std::string& problem);

} // namespace bypassctl
