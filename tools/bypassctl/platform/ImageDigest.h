// Windows: the Authenticode digest of a PE image (a driver, a program), the
// value a signature signs. Signing adds a certificate table at the end of
// the file and records it in the headers; the digest leaves out exactly
// those parts (and the header checksum, which signing recomputes), so a
// file keeps its digest when it is signed, and any change to its code,
// data or other headers changes it.
#pragma once

#include <string>
#include <vector>

namespace bypassctl {

// The SHA-256 image digest of file in lower-case hex; empty when file is no
// well-formed PE image (truncated headers, a certificate table that does
// not lie within the file and end it).
std::string ImageDigest(const std::vector<unsigned char>& file);

} // namespace bypassctl
