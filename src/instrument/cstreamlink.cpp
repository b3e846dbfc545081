#include "instrument/cstreamlink.h"

#include "model/unumtext.h"

#include <SimpleIni.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
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

using Clock = std::chrono::steady_clock;

bool ParseWhole(std::string_view text, long long low, long long high, long long& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc{} && result.ptr == text.data() + text.size() &&
           value >= low && value <= high;
}

struct BaudRate {
    int Rate;
    speed_t Code;
};
constexpr BaudRate kBaudRates[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                                   {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                                   {230400, B230400}, {460800, B460800}, {921600, B921600}};

const BaudRate* FindBaud(long long rate) {
    for (const BaudRate& b : kBaudRates)
        if (b.Rate == rate)
            return &b;
    return nullptr;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

// --- endpoints -----------------------------------------------------------------------------------

std::string _sStreamEndpoint::Description() const {
    if (Kind == ekTcp)
        return Text + " (network)";
    return Text + " (serial, " + std::to_string(Baud) + " baud)";
}

bool ParseStreamEndpoint(std::string_view text, _sStreamEndpoint& endpoint, std::string& error) {
    text = TrimBlanks(text);
    _sStreamEndpoint result;
    result.Text = std::string(text);
    constexpr std::string_view tcp = "tcp://";
    constexpr std::string_view serial = "serial:";
    if (text.substr(0, tcp.size()) == tcp) {
        std::string_view rest = text.substr(tcp.size());
        std::string_view host, port;
        if (!rest.empty() && rest.front() == '[') {
            const auto close = rest.find(']');
            if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
                error = "'" + result.Text + "': write an IPv6 address as tcp://[ADDRESS]:PORT";
                return false;
            }
            host = rest.substr(1, close - 1);
            port = rest.substr(close + 2);
        } else {
            const auto colon = rest.rfind(':');
            if (colon == std::string_view::npos) {
                error = "'" + result.Text + "' has no port; write tcp://HOST:PORT";
                return false;
            }
            host = rest.substr(0, colon);
            port = rest.substr(colon + 1);
        }
        long long number = 0;
        if (host.empty() || host.find_first_of(" /") != std::string_view::npos) {
            error = "'" + result.Text + "' has no host name; write tcp://HOST:PORT";
            return false;
        }
        if (!ParseWhole(port, 1, 65535, number)) {
            error = "'" + result.Text + "': the port must be a number from 1 to 65535";
            return false;
        }
        result.Kind = _sStreamEndpoint::ekTcp;
        result.Host = std::string(host);
        result.Port = static_cast<std::uint16_t>(number);
    } else if (text.substr(0, serial.size()) == serial) {
        std::string_view rest = text.substr(serial.size());
        const auto question = rest.find('?');
        std::string_view device = rest.substr(0, question);
        if (device.empty() || device.front() != '/') {
            error = "'" + result.Text + "': write serial:/dev/DEVICE";
            return false;
        }
        result.Kind = _sStreamEndpoint::ekSerial;
        result.Device = std::string(device);
        if (question != std::string_view::npos) {
            constexpr std::string_view baud = "baud=";
            std::string_view option = rest.substr(question + 1);
            long long rate = 0;
            if (option.substr(0, baud.size()) != baud ||
                !ParseWhole(option.substr(baud.size()), 1, 10000000, rate) || FindBaud(rate) == nullptr) {
                error = "'" + result.Text +
                        "': the only option is ?baud=N, N one of 1200, 2400, 4800, 9600, " +
                        "19200, 38400, 57600, 115200, 230400, 460800, 921600";
                return false;
            }
            result.Baud = static_cast<int>(rate);
        }
    } else {
        error = "'" + result.Text + "' is not an endpoint; write tcp://HOST:PORT or serial:/dev/DEVICE";
        return false;
    }
    endpoint = std::move(result);
    return true;
}

std::vector<std::string> ListSerialDevices(const std::filesystem::path& devFolder) {
    std::vector<std::string> devices;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(devFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0)
            devices.push_back(it->path().string());
    }
    std::sort(devices.begin(), devices.end());
    return devices;
}

std::string ReadLinkEndpoints(const std::filesystem::path& iniPath) {
    CSimpleIniA ini;
    ini.SetUnicode(true);
    std::error_code ec;
    if (!std::filesystem::exists(iniPath, ec) || ini.LoadFile(iniPath.c_str()) < 0)
        return {};
    const char* value = ini.GetValue("Link", "Endpoints", nullptr);
    return value != nullptr ? value : "";
}

std::vector<_sStreamInterface> MakeStreamInterfaces(std::string_view endpoints,
                                                    const std::vector<std::string>& serialDevices,
                                                    std::vector<std::string>& warnings) {
    std::vector<_sStreamInterface> interfaces;
    std::vector<std::string> named; // serial devices already in the list
    while (!endpoints.empty()) {
        const auto semicolon = endpoints.find(';');
        const std::string_view item = TrimBlanks(endpoints.substr(0, semicolon));
        endpoints =
            semicolon == std::string_view::npos ? std::string_view{} : endpoints.substr(semicolon + 1);
        if (item.empty())
            continue;
        _sStreamEndpoint endpoint;
        std::string error;
        if (!ParseStreamEndpoint(item, endpoint, error)) {
            warnings.push_back("Link.Endpoints: " + error);
            continue;
        }
        if (endpoint.Kind == _sStreamEndpoint::ekSerial)
            named.push_back(endpoint.Device);
        std::string description = endpoint.Description();
        interfaces.push_back({std::move(description), std::make_unique<CStreamLink>(std::move(endpoint))});
    }
    for (const std::string& device : serialDevices) {
        if (std::find(named.begin(), named.end(), device) != named.end())
            continue;
        _sStreamEndpoint endpoint;
        std::string error;
        if (!ParseStreamEndpoint("serial:" + device, endpoint, error))
            continue;
        std::string description = endpoint.Description();
        interfaces.push_back({std::move(description), std::make_unique<CStreamLink>(std::move(endpoint))});
    }
    return interfaces;
}

// --- the link ------------------------------------------------------------------------------------

CStreamLink::CStreamLink(_sStreamEndpoint endpoint) : m_endpoint(std::move(endpoint)) {
    m_txBuffer.reserve(kStreamRequestOverhead + kStreamMaxRequestPayload);
}

CStreamLink::~CStreamLink() {
    Disconnect(false);
}

_sStreamStats CStreamLink::GetStats() const {
    _sStreamStats stats = m_stats;
    stats.SkippedBytes = m_scanner.GetSkippedBytes();
    return stats;
}

void CStreamLink::GetIntrDescription(std::int32_t index, char* text) {
    if (index == 0)
        CopyDescription(m_endpoint.Description(), text);
}

bool CStreamLink::OpenIntr(std::int32_t index) {
    if (index != 0)
        return false;
    if (!m_open && !Connect(kOpenTimeoutMs))
        return false;
    m_open = true;
    return true;
}

bool CStreamLink::CloseIntr() {
    Disconnect(false);
    m_open = false;
    return true;
}

void CStreamLink::Disconnect(bool lost) {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        if (lost)
            ++m_stats.ConnectionsLost;
    }
    m_scanner.Clear();
}

bool CStreamLink::Connect(int timeoutMs) {
    Disconnect(false);
    const bool ok = m_endpoint.Kind == _sStreamEndpoint::ekTcp ? ConnectTcp(timeoutMs) : ConnectSerial();
    if (ok) {
        m_lastError.clear();
        ++m_stats.Connects;
    }
    return ok;
}

bool CStreamLink::ConnectTcp(int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(m_endpoint.Port);
    if (const int rc = ::getaddrinfo(m_endpoint.Host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        m_lastError = m_endpoint.Host + ": " + ::gai_strerror(rc);
        return false;
    }
    m_lastError = m_endpoint.Text + ": no address to connect to";
    for (addrinfo* a = found; a != nullptr && m_fd < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            m_lastError = ErrnoText(m_endpoint.Text);
            continue;
        }
        int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc < 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            rc = ::poll(&p, 1, RemainingMs(deadline));
            int soError = 0;
            socklen_t len = sizeof(soError);
            if (rc == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError == 0) {
                rc = 0;
            } else {
                errno = rc == 0 ? ETIMEDOUT : (soError != 0 ? soError : errno);
                rc = -1;
            }
        }
        if (rc < 0) {
            m_lastError = ErrnoText(m_endpoint.Text);
            ::close(fd);
            continue;
        }
        // Frames are small and every one waits for its reply: send them at once.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        m_fd = fd;
    }
    ::freeaddrinfo(found);
    return m_fd >= 0;
}

bool CStreamLink::ConnectSerial() {
    const int fd = ::open(m_endpoint.Device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_lastError = ErrnoText(m_endpoint.Device);
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        m_lastError = ErrnoText(m_endpoint.Device + " is not a serial line");
        ::close(fd);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const BaudRate* baud = FindBaud(m_endpoint.Baud);
    const speed_t code = baud != nullptr ? baud->Code : B115200;
    ::cfsetispeed(&tio, code);
    ::cfsetospeed(&tio, code);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        m_lastError = ErrnoText(m_endpoint.Device);
        ::close(fd);
        return false;
    }
    ::tcflush(fd, TCIOFLUSH);
    m_fd = fd;
    return true;
}

void CStreamLink::PurgeIntr() {
    m_scanner.Clear();
    if (m_fd < 0)
        return;
    if (m_endpoint.Kind == _sStreamEndpoint::ekSerial)
        ::tcflush(m_fd, TCIFLUSH);
    // What has already arrived belongs to earlier frames; a bounded drain keeps a flooding peer
    // from holding the caller here.
    std::uint8_t sink[4096];
    for (int round = 0; round < 64; ++round) {
        const ssize_t n = ::read(m_fd, sink, sizeof(sink));
        if (n > 0)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            Disconnect(true);
        break;
    }
}

bool CStreamLink::TxFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload) {
    if (!m_open)
        return false;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    // The connection was lost earlier: try once to get it back within this send's time.
    if (m_fd < 0 && !Connect(kSendTimeoutMs))
        return false;

    ++m_seq;
    m_txBuffer.clear();
    EncodeStreamRequest(m_seq, id, length, payload, m_txBuffer);
    std::size_t sent = 0;
    while (sent < m_txBuffer.size()) {
        const ssize_t n = m_endpoint.Kind == _sStreamEndpoint::ekTcp
                              ? ::send(m_fd, m_txBuffer.data() + sent, m_txBuffer.size() - sent, MSG_NOSIGNAL)
                              : ::write(m_fd, m_txBuffer.data() + sent, m_txBuffer.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{m_fd, POLLOUT, 0};
            const int left = RemainingMs(deadline);
            if (left > 0 && ::poll(&p, 1, left) > 0 && (p.revents & POLLOUT))
                continue;
            // A peer that takes nothing for this long is gone; a half-sent frame would desynchronise
            // the next one only until its CRC fails, but a fresh connection is cleaner.
        }
        Disconnect(true);
        return false;
    }
    ++m_stats.FramesSent;
    return true;
}

bool CStreamLink::RxFrame(std::uint32_t timeout, std::uint8_t& statusA, std::uint8_t& statusB,
                          std::uint8_t& id, std::uint8_t& length, std::uint8_t* payload) {
    if (!m_open || m_fd < 0)
        return false;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
    _sStreamFrame frame;
    std::uint8_t chunk[1024];
    bool lastLook = false; // the time is up: what has arrived by now is looked at once more
    for (;;) {
        while (m_scanner.Next(frame)) {
            if (frame.Seq != m_seq) {
                ++m_stats.StaleReplies;
                continue;
            }
            statusA = frame.StatusA;
            statusB = frame.StatusB;
            id = frame.Id;
            length = frame.Length;
            std::memcpy(payload, frame.Payload.data(), frame.Length);
            ++m_stats.RepliesTaken;
            return true;
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            // A peer that keeps sending garbage must not hold the caller past its time-out.
            if (lastLook) {
                ++m_stats.Timeouts;
                return false;
            }
            lastLook = true;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            ++m_stats.Timeouts;
            return false;
        }
        const ssize_t n = ::read(m_fd, chunk, sizeof(chunk));
        if (n > 0) {
            m_scanner.Feed(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        // End of stream or a hang-up (a pseudo-terminal whose server went away reads EIO).
        Disconnect(true);
        return false;
    }
}
