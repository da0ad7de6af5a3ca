// The board lock's directory and files on Linux. The directory is this
// user's alone (root's /run/bypassctl for real boards), so no other user can
// plant anything in it; its files are still opened as if one could have.
#pragma once

#include <string>

namespace bypassctl {

// Opens path read-write, creating it 0600 (and its directory 0700 when
// missing). Refused unless the directory is a directory of this user's that
// no group or other may write into, and the file a regular file of this
// user's reached without a symbolic link. Answers the descriptor, or -1 with
// problem saying why.
int OpenOwnFile(const std::string& path, std::string& problem);

} // namespace bypassctl
