#include "simulator/csimserver.h"

#include "simulator/usimrandom.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

CSimServer::CSimServer(CQm4750Sim& sim, _sSimServerFaults faults, std::uint64_t seed)
    : m_sim(sim), m_faults(faults), m_rng(seed * 0x9E3779B97F4A7C15ULL + 0x6A09E667F3BCC909ULL) {}

CSimServer::~CSimServer() {
    CloseClient();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_ptySlave >= 0)
        ::close(m_ptySlave);
}

_sSimServerStats CSimServer::GetStats() const {
    _sSimServerStats stats = m_stats;
    stats.SkippedBytes = m_scanner.GetSkippedBytes();
    return stats;
}

std::string CSimServer::Listen(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
        return host + ": " + ::gai_strerror(rc);
    std::string error = host + ": no address to listen on";
    for (addrinfo* a = found; a != nullptr && m_listenFd < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = ErrnoText("socket");
            continue;
        }
        // A restarted server takes its port back at once.
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
            error = ErrnoText(host + ":" + service);
            ::close(fd);
            continue;
        }
        sockaddr_storage bound{};
        socklen_t len = sizeof(bound);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
        m_port = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                             : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
        SetNonBlocking(fd);
        m_listenFd = fd;
    }
    ::freeaddrinfo(found);
    return m_listenFd >= 0 ? std::string() : error;
}

std::string CSimServer::OpenPty(std::string& path) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return ErrnoText("posix_openpt");
    char name[256] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof(name)) != 0) {
        const std::string error = ErrnoText("pseudo-terminal");
        ::close(master);
        return error;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave < 0 || ::tcgetattr(slave, &tio) != 0) {
        const std::string error = ErrnoText(name);
        ::close(master);
        if (slave >= 0)
            ::close(slave);
        return error;
    }
    // Raw from the start: no echo or line editing may touch a frame before the client sets its mode.
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    SetNonBlocking(master);
    m_clientFd = master;
    m_ptySlave = slave;
    m_isPty = true;
    path = name;
    return {};
}

void CSimServer::Accept() {
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    CloseClient();
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    m_clientFd = fd;
    ++m_stats.Connections;
}

void CSimServer::CloseClient() {
    if (m_clientFd >= 0 && !m_isPty) {
        ::close(m_clientFd);
        m_clientFd = -1;
    }
    m_scanner.Clear();
    m_pending.clear();
}

void CSimServer::Run(const std::atomic<bool>& stop) {
    while (!stop.load()) {
        pollfd fds[2];
        int count = 0;
        if (m_listenFd >= 0)
            fds[count++] = {m_listenFd, POLLIN, 0};
        const int clientIndex = count;
        if (m_clientFd >= 0)
            fds[count++] = {m_clientFd, POLLIN, 0};
        int waitMs = 100;
        if (!m_pending.empty()) {
            const auto due =
                std::chrono::duration_cast<std::chrono::milliseconds>(m_pending.front().Due - Clock::now())
                    .count();
            waitMs = static_cast<int>(std::clamp<long long>(due, 0, waitMs));
        }
        const int ready = ::poll(fds, static_cast<nfds_t>(count), waitMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            if (m_listenFd >= 0 && (fds[0].revents & POLLIN))
                Accept();
            else if (clientIndex < count && fds[clientIndex].revents != 0)
                ReadClient();
        }
        SendDue();
    }
}

void CSimServer::ReadClient() {
    std::uint8_t chunk[1024];
    const ssize_t n = ::read(m_clientFd, chunk, sizeof(chunk));
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        if (!m_isPty)
            CloseClient();
        else
            ::usleep(10000); // no client on the terminal; nothing to do but wait
        return;
    }
    m_scanner.Feed(chunk, static_cast<std::size_t>(n));
    _sStreamFrame request;
    while (m_clientFd >= 0 && m_scanner.Next(request))
        HandleRequest(request);
}

void CSimServer::HandleRequest(const _sStreamFrame& request) {
    ++m_stats.Requests;
    const Clock::time_point now = Clock::now();
    if (m_faults.StallAfter >= 0 && !m_stallStarted &&
        m_stats.Requests > static_cast<std::uint64_t>(m_faults.StallAfter)) {
        m_stallStarted = true;
        m_stallEnd = m_faults.StallForMs < 0 ? Clock::time_point::max()
                                             : now + std::chrono::milliseconds(m_faults.StallForMs);
    }
    if (m_stallStarted && now < m_stallEnd) {
        ++m_stats.Unanswered; // a hung instrument carries nothing out
        return;
    }

    // One instrument fault per reply: a second one would wait for a later request (and pile up at
    // high rates). A payload under a wrong id is never read, so the wrong id may hide it.
    const bool wrongId = Chance(m_faults.WrongIdRate);
    const bool badPayload = Chance(m_faults.BadPayloadRate);
    if (wrongId)
        m_sim.InjectFault(sfWrongId, 1);
    else if (badPayload)
        m_sim.InjectFault(sfGarbled, 1);
    _sSimReply reply;
    if (!m_sim.HandleFrame(request.Id, request.Length, request.Payload.data(), reply)) {
        ++m_stats.Unanswered;
        return;
    }

    Pending out;
    if (Chance(m_faults.GarbageRate)) {
        const std::size_t garbage = 1 + Random() % 16;
        for (std::size_t i = 0; i < garbage; ++i)
            out.Bytes.push_back(static_cast<std::uint8_t>(Random()));
    }
    const std::size_t frameStart = out.Bytes.size();
    EncodeStreamReply(request.Seq, reply.StatusA, reply.StatusB, reply.Id, reply.Length, reply.Payload.data(),
                      out.Bytes);
    const std::size_t frameSize = out.Bytes.size() - frameStart;
    if (Chance(m_faults.GarbleRate))
        out.Bytes[frameStart + Random() % frameSize] ^= static_cast<std::uint8_t>(1 + Random() % 255);
    if (Chance(m_faults.DropRate))
        out.Bytes.erase(out.Bytes.begin() + static_cast<std::ptrdiff_t>(frameStart + Random() % frameSize));

    out.Due = now;
    if (m_faults.DelayMs > 0 && Chance(m_faults.DelayRate))
        out.Due = now + std::chrono::milliseconds(m_faults.DelayMs);
    // Replies leave in the order of their requests, as from the instrument.
    if (!m_pending.empty())
        out.Due = std::max(out.Due, m_pending.back().Due);
    m_pending.push_back(std::move(out));
    ++m_stats.Replies;
    SendDue();
}

void CSimServer::SendDue() {
    const Clock::time_point now = Clock::now();
    while (!m_pending.empty() && m_pending.front().Due <= now && m_clientFd >= 0) {
        if (!WriteAll(m_pending.front().Bytes)) {
            CloseClient();
            return;
        }
        m_pending.pop_front();
    }
}

bool CSimServer::WriteAll(const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    int waits = 0;
    while (sent < bytes.size()) {
        const ssize_t n = m_isPty
                              ? ::write(m_clientFd, bytes.data() + sent, bytes.size() - sent)
                              : ::send(m_clientFd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waits++ < 10) {
            pollfd p{m_clientFd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        // Nobody reads: on a terminal the reply is dropped (a client that opens it later purges
        // stale input anyway); a TCP client that reads nothing for a second is gone.
        return m_isPty;
    }
    return true;
}

bool CSimServer::Chance(double rate) {
    if (rate <= 0.0)
        return false;
    if (rate >= 1.0)
        return true;
    return static_cast<double>(Random()) / 4294967296.0 < rate;
}

std::uint32_t CSimServer::Random() {
    return static_cast<std::uint32_t>(SplitMix64(m_rng) >> 32);
}
