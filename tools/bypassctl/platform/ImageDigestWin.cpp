#include "platform/ImageDigest.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstdint>

namespace bypassctl {
namespace {

std::uint32_t Read32(const std::vector<unsigned char>& file, std::size_t at)
{
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | std::uint32_t(file[at + 3]) << 24;
}

// The file's parts that the digest covers, as [begin, end) offsets: all of
// it but the checksum, the certificate table's directory entry and the
// table itself, which must be the file's end.
struct Covered {
    std::size_t checksum = 0;  // 4 bytes left out
    std::size_t certEntry = 0; // 8 bytes left out
    std::size_t end = 0;       // where the certificate table starts
};

bool FindCovered(const std::vector<unsigned char>& file, Covered& covered)
{
    constexpr std::size_t kPeOffsetAt = 0x3C, kOptionalAt = 24, kChecksumAt = 64;
    constexpr unsigned kPe32Plus = 0x20B, kPe32 = 0x10B;
    if (file.size() < kPeOffsetAt + 4 || file[0] != 'M' || file[1] != 'Z')
        return false;
    const std::size_t pe = Read32(file, kPeOffsetAt);
    const std::size_t optional = pe + kOptionalAt;
    if (pe > file.size() || file.size() - pe < kOptionalAt + 2 || Read32(file, pe) != 0x4550)
        return false;
    const unsigned magic = file[optional] | file[optional + 1] << 8;
    if (magic != kPe32Plus && magic != kPe32)
        return false;
    const std::size_t directories = optional + (magic == kPe32Plus ? 112 : 96);
    constexpr std::size_t kCertIndex = 4;
    covered.checksum = optional + kChecksumAt;
    covered.certEntry = directories + kCertIndex * 8;
    if (covered.certEntry + 8 > file.size())
        return false;
    const std::size_t certAt = Read32(file, covered.certEntry);
    const std::size_t certSize = Read32(file, covered.certEntry + 4);
    if (certSize == 0) {
        covered.end = file.size();
        return true;
    }
    // Bytes after the table would be covered by no digest.
    covered.end = certAt;
    return certAt > covered.certEntry + 8 && certAt <= file.size()
        && file.size() - certAt == certSize;
}

std::string Hex(const unsigned char* bytes, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

class Sha256 {
public:
    Sha256()
    {
        if (BCryptOpenAlgorithmProvider(&m_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0)
            m_ok = BCryptCreateHash(m_algorithm, &m_hash, nullptr, 0, nullptr, 0, 0) == 0;
    }
    ~Sha256()
    {
        if (m_hash)
            BCryptDestroyHash(m_hash);
        if (m_algorithm)
            BCryptCloseAlgorithmProvider(m_algorithm, 0);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const unsigned char* begin, std::size_t size)
    {
        m_ok = m_ok
            && BCryptHashData(m_hash, const_cast<PUCHAR>(begin), static_cast<ULONG>(size), 0) == 0;
    }
    std::string Finish()
    {
        unsigned char digest[32] = {};
        m_ok = m_ok && BCryptFinishHash(m_hash, digest, sizeof digest, 0) == 0;
        return m_ok ? Hex(digest, sizeof digest) : "";
    }

private:
    BCRYPT_ALG_HANDLE m_algorithm = nullptr;
    BCRYPT_HASH_HANDLE m_hash = nullptr;
    bool m_ok = false;
};

} // namespace

// The covered bytes in file order, which for an image whose sections follow
// its headers in order (as linkers and signing tools lay them out) is the
// order Authenticode hashes them in. An unsigned image counts as padded
// with zeros to eight bytes, as signing pads it before the table.
std::string ImageDigest(const std::vector<unsigned char>& file)
{
    Covered covered;
    if (!FindCovered(file, covered))
        return "";
    const unsigned char* bytes = file.data();
    Sha256 hash;
    hash.Add(bytes, covered.checksum);
    hash.Add(bytes + covered.checksum + 4, covered.certEntry - covered.checksum - 4);
    hash.Add(bytes + covered.certEntry + 8, covered.end - covered.certEntry - 8);
    const unsigned char zeros[8] = {};
    if (covered.end % 8)
        hash.Add(zeros, 8 - covered.end % 8);
    return hash.Finish();
}

} // namespace bypassctl
