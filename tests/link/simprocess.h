#pragma once

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// A qm4750-sim process started by a test: it prints its endpoint on the first line, and it dies with
// the test program even when that crashes (a stray server would hold its port or terminal).
class CSimProcess {
public:
    explicit CSimProcess(const std::vector<std::string>& args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid < 0)
            throw std::runtime_error("fork");
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(127);
            ::dup2(out[1], STDOUT_FILENO);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDERR_FILENO);
            std::vector<char*> argv;
            std::string exe = QM_SIM_EXE;
            argv.push_back(exe.data());
            std::vector<std::string> copy = args;
            for (std::string& a : copy)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        // The endpoint line, waited for at most 10 s.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        char c = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            if (::read(out[0], &c, 1) != 1 || c == '\n')
                break;
            m_endpoint += c;
        }
        ::close(out[0]);
        if (c != '\n') {
            Kill();
            throw std::runtime_error("qm4750-sim did not print its endpoint");
        }
    }
    ~CSimProcess() { Kill(); }
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    const std::string& Endpoint() const { return m_endpoint; }
    // The port of a tcp:// endpoint.
    std::string Port() const { return m_endpoint.substr(m_endpoint.rfind(':') + 1); }
    pid_t Pid() const { return m_pid; }

    void Signal(int sig) {
        if (m_pid > 0)
            ::kill(m_pid, sig);
    }
    // Ends the server at once, as a crash or a pulled plug would.
    void Kill() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    // Asks the server to stop and returns its exit status (-1 when it had to be killed).
    int Stop() {
        if (m_pid <= 0)
            return -1;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(20000);
        }
        Kill();
        return -1;
    }

private:
    pid_t m_pid = -1;
    std::string m_endpoint;
};
