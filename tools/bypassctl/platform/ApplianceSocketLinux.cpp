#include "platform/ApplianceSocket.h"

#include "portio/Appliance.h"
#include "portio/PortTalkClient.h"
#include "porttalk/PortTalkSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>
#include <vector>

namespace bypassctl {
namespace {

constexpr int kTickMs = 50;

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

sockaddr_un SocketAddress(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        throw ApplianceSocketError{ApplianceSocketError::Kind::Unusable,
            "'" + path + "' cannot name a Unix socket (1 to "
                + std::to_string(sizeof address.sun_path - 1) + " bytes)"};
    std::memcpy(address.sun_path, path.c_str(), path.size());
    return address;
}

// True when something accepts connections at address.
bool Answers(const sockaddr_un& address)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answers
        = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return answers;
}

// A socket left by an appliance that was killed is taken over; a live one,
// or anything that is not a socket, is left alone.
void ClaimPath(const std::string& path, const sockaddr_un& address)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return;
    if (!S_ISSOCK(info.st_mode))
        throw ApplianceSocketError{ApplianceSocketError::Kind::Unusable,
            path + " exists and is not a socket; choose another --socket"};
    if (Answers(address))
        throw ApplianceSocketError{
            ApplianceSocketError::Kind::Busy, "another appliance serves " + path};
    unlink(path.c_str());
}

// Only the user who started the appliance may talk to it, as only an
// administrator may open the device.
int Listen(const std::string& path)
{
    const sockaddr_un address = SocketAddress(path);
    ClaimPath(path, address);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const mode_t mask = umask(0077);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    umask(mask);
    if (!bound || chmod(path.c_str(), 0600) != 0 || listen(fd, 16) != 0) {
        const std::string why = ErrnoText("cannot serve " + path);
        close(fd);
        throw ApplianceSocketError{ApplianceSocketError::Kind::Unusable, why};
    }
    return fd;
}

// SIGINT and SIGTERM, read from a descriptor the loop polls. A log piped
// into a reader that went away must not end the board's life.
int StopSignals()
{
    signal(SIGPIPE, SIG_IGN);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    return signalfd(-1, &stop, SFD_CLOEXEC);
}

// One client: one open handle of the device, and the bytes of its request
// that have come so far.
struct Connection {
    int fd;
    PortTalkHandle handle;
    std::vector<unsigned char> pending;
};

class SocketServer {
public:
    SocketServer(int listener, ApplianceService& service)
        : m_listener(listener)
        , m_service(service)
    {
    }
    ~SocketServer()
    {
        for (const Connection& connection : m_connections)
            close(connection.fd);
    }
    SocketServer(const SocketServer&) = delete;
    SocketServer& operator=(const SocketServer&) = delete;

    void Run(int stop);

private:
    void Accept();
    // False when the connection is to be closed.
    bool Receive(Connection& connection);
    bool ServePending(Connection& connection);

    int m_listener;
    ApplianceService& m_service;
    std::list<Connection> m_connections;
};

void SocketServer::Run(int stop)
{
    for (;;) {
        std::vector<pollfd> fds{{stop, POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const Connection& connection : m_connections)
            fds.push_back({connection.fd, POLLIN, 0});
        poll(fds.data(), fds.size(), kTickMs);
        m_service.Tick();
        if (fds[0].revents)
            return;
        if (fds[1].revents)
            Accept();
        auto connection = m_connections.begin();
        for (std::size_t i = 2; i < fds.size(); ++i) {
            const bool keep = !fds[i].revents || Receive(*connection);
            if (keep) {
                ++connection;
                continue;
            }
            close(connection->fd);
            connection = m_connections.erase(connection);
        }
    }
}

void SocketServer::Accept()
{
    const int fd = accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    m_connections.push_back({fd, {}, {}});
    PortTalkOpenHandle(&m_connections.back().handle);
}

bool SocketServer::Receive(Connection& connection)
{
    unsigned char bytes[4096];
    const ssize_t got = recv(connection.fd, bytes, sizeof bytes, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (got <= 0)
        return false;
    connection.pending.insert(connection.pending.end(), bytes, bytes + got);
    return ServePending(connection);
}

// Answers every whole request that has come, in order.
bool SocketServer::ServePending(Connection& connection)
{
    std::vector<unsigned char>& pending = connection.pending;
    while (pending.size() >= PORTTALK_SOCKET_REQUEST_HEADER) {
        const unsigned long code = bypass::GetLe32(pending.data());
        const unsigned long inSize = bypass::GetLe32(pending.data() + 4);
        const unsigned long outSize = bypass::GetLe32(pending.data() + 8);
        if (inSize > PORTTALK_SOCKET_MAX_SIZE || outSize > PORTTALK_SOCKET_MAX_SIZE)
            return false;
        if (pending.size() < PORTTALK_SOCKET_REQUEST_HEADER + inSize)
            return true;
        unsigned char frame[PORTTALK_SOCKET_ANSWER_HEADER + PORTTALK_SOCKET_MAX_SIZE] = {};
        unsigned char* buffer = frame + PORTTALK_SOCKET_ANSWER_HEADER;
        std::memcpy(buffer, pending.data() + PORTTALK_SOCKET_REQUEST_HEADER, inSize);
        pending.erase(pending.begin(), pending.begin() + PORTTALK_SOCKET_REQUEST_HEADER + inSize);
        unsigned long answered = 0;
        const unsigned long outcome
            = m_service.Answer(connection.handle, code, buffer, inSize, outSize, answered);
        bypass::PutLe32(frame, static_cast<std::uint32_t>(outcome));
        bypass::PutLe32(frame + 4, static_cast<std::uint32_t>(answered));
        const std::size_t size = PORTTALK_SOCKET_ANSWER_HEADER + answered;
        if (send(connection.fd, frame, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
            return false;
    }
    return true;
}

} // namespace

void ServeApplianceSocket(
    const std::string& path, ApplianceService& service, const std::function<void()>& ready)
{
    const int listener = Listen(path);
    const int stop = StopSignals();
    ready();
    {
        SocketServer server(listener, service);
        server.Run(stop);
    }
    close(listener);
    close(stop);
    unlink(path.c_str());
}

void ConnectAppliance(const std::string& path)
{
    std::string product, why;
    if (!bypass::QueryApplianceProduct(path, product, why))
        throw ApplianceSocketError{ApplianceSocketError::Kind::Silent,
            "no port access: the virtual appliance at " + path + " does not answer (" + why
                + "); start one with bypassctl appliance --simulate TYPE"};
    bypass::UseAppliance(path);
}

} // namespace bypassctl
