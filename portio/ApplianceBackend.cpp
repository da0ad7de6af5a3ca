#include "portio/Appliance.h"
#include "portio/PortTalkClient.h"
#include "porttalk/PortTalkSocket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace bypass {
namespace {

// A hung appliance fails the access instead of hanging its client.
constexpr time_t kAnswerTimeoutS = 5;

std::string g_chosenPath;
bool g_chosen = false;

unsigned long OutcomeError(std::uint32_t outcome)
{
    switch (outcome) {
    case PORTTALK_OUTCOME_UNKNOWN_REQUEST:
        return kPortTalkUnknownRequestError;
    case PORTTALK_OUTCOME_MALFORMED:
        return kPortTalkMalformedError;
    default:
        return kPortTalkRefusedError;
    }
}

// One connection to the appliance: one open handle of its device.
class SocketTransport : public PortTalkTransport {
public:
    ~SocketTransport() override { Disconnect(); }

    // False with errno's reason in LastError.
    bool Connect(const char* path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (std::strlen(path) >= sizeof address.sun_path)
            return Failed(ENAMETOOLONG);
        std::strcpy(address.sun_path, path);
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return Failed(errno);
        const timeval timeout{kAnswerTimeoutS, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return true;
        const int error = errno;
        Disconnect();
        return Failed(error);
    }

    void Disconnect()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }

    bool Send(unsigned long code, unsigned char* buffer, unsigned long inSize,
        unsigned long outSize) override
    {
        unsigned char frame[PORTTALK_SOCKET_REQUEST_HEADER + PORTTALK_SOCKET_MAX_SIZE];
        unsigned char answer[PORTTALK_SOCKET_MAX_SIZE];
        if (m_fd < 0)
            return Failed(ENOTCONN);
        PutLe32(frame, static_cast<std::uint32_t>(code));
        PutLe32(frame + 4, static_cast<std::uint32_t>(inSize));
        PutLe32(frame + 8, static_cast<std::uint32_t>(outSize));
        std::memcpy(frame + PORTTALK_SOCKET_REQUEST_HEADER, buffer, inSize);
        if (!WriteAll(frame, PORTTALK_SOCKET_REQUEST_HEADER + inSize)
            || !ReadAll(frame, PORTTALK_SOCKET_ANSWER_HEADER))
            return Lost();
        const std::uint32_t outcome = GetLe32(frame);
        m_answered = GetLe32(frame + 4);
        if (m_answered > outSize || !ReadAll(answer, m_answered))
            return Lost();
        if (outcome != PORTTALK_OUTCOME_DONE)
            return Failed(OutcomeError(outcome));
        std::memcpy(buffer, answer, m_answered);
        return true;
    }

    unsigned long LastError() const override { return m_error; }
    unsigned long Answered() const { return m_answered; }

private:
    bool Failed(unsigned long error)
    {
        m_error = error;
        return false;
    }

    // A connection that broke mid-frame cannot be resynchronised.
    bool Lost()
    {
        const int error = errno ? errno : ECONNRESET;
        Disconnect();
        return Failed(static_cast<unsigned long>(error));
    }

    // No SIGPIPE: a dead appliance fails the access, not the host program.
    bool WriteAll(const unsigned char* data, std::size_t size)
    {
        return MoveAll(size,
            [&](std::size_t done) { return send(m_fd, data + done, size - done, MSG_NOSIGNAL); });
    }

    bool ReadAll(unsigned char* data, std::size_t size)
    {
        return MoveAll(
            size, [&](std::size_t done) { return recv(m_fd, data + done, size - done, 0); });
    }

    // Repeats move (one send or receive of what is left after done bytes)
    // until size bytes went; a signal repeats it, an error or the peer's
    // close fails.
    template <class Move> static bool MoveAll(std::size_t size, Move move)
    {
        errno = 0;
        for (std::size_t done = 0; done < size;) {
            const ssize_t moved = move(done);
            if (moved < 0 && errno == EINTR)
                continue;
            if (moved <= 0)
                return false;
            done += static_cast<std::size_t>(moved);
        }
        return true;
    }

    int m_fd = -1;
    unsigned long m_error = 0;
    unsigned long m_answered = 0;
};

// Port access as requests to the appliance. Its watchdog counts on the
// wall clock, so pauses are real ones.
class ApplianceBackend : public PortTalkClientBackend {
public:
    ApplianceBackend()
        : PortTalkClientBackend(m_socket)
    {
    }
    int Open() override
    {
        const char* path = AppliancePath();
        if (m_socket.Connect(path))
            return 0;
        std::printf(
            "BypassTool: no port access: the virtual appliance at %s does not answer (%s)\n", path,
            std::strerror(static_cast<int>(m_socket.LastError())));
        return -1;
    }
    void Close() override { m_socket.Disconnect(); }
    void SleepMs(unsigned ms) override
    {
        timespec until{};
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += static_cast<time_t>(ms / 1000);
        until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            ++until.tv_sec;
            until.tv_nsec -= 1000000000L;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) { }
    }

private:
    SocketTransport m_socket;
};

} // namespace

const char* AppliancePath()
{
    return g_chosen ? g_chosenPath.c_str() : std::getenv(kApplianceVariable);
}

void UseAppliance(const std::string& path)
{
    g_chosenPath = path;
    g_chosen = true;
}

bool QueryApplianceProduct(const std::string& path, std::string& product, std::string& why)
{
    SocketTransport socket;
    unsigned char name[PORTTALK_QUERY_BOARD_OUT];
    if (socket.Connect(path.c_str())
        && socket.Send(PORTTALK_QUERY_BOARD, name, 0, PORTTALK_QUERY_BOARD_OUT)) {
        product.assign(reinterpret_cast<const char*>(name), socket.Answered());
        return true;
    }
    why = std::strerror(static_cast<int>(socket.LastError()));
    return false;
}

PortBackend& AppliancePortBackend()
{
    static ApplianceBackend backend;
    return backend;
}

} // namespace bypass
