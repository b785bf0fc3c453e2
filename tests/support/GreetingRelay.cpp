#include "support/GreetingRelay.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace teststore {

namespace {

constexpr std::uint16_t kClientSsl = 0x0800; // in the greeting's lower capability word

bool readFully(int fd, unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool writeFully(int fd, const unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

GreetingRelay::GreetingRelay(int serverPort)
    : mServerPort(serverPort)
{
    if (::pipe(mWake) != 0) {
        ADD_FAILURE() << "no pipe for the relay";
        return;
    }
    mListener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(mListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(mListener, 8) != 0
        || ::getsockname(mListener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "the relay cannot listen: " << std::strerror(errno);
        return;
    }
    mPort = ntohs(address.sin_port);
    mAcceptor = std::thread([this] { acceptLoop(); });
}

GreetingRelay::~GreetingRelay()
{
    if (mWake[1] >= 0) {
        const char stop = 0;
        (void)!::write(mWake[1], &stop, 1);
    }
    if (mAcceptor.joinable())
        mAcceptor.join();
    for (auto& connection : mConnections)
        connection.join();
    for (const int fd : {mListener, mWake[0], mWake[1]})
        if (fd >= 0)
            ::close(fd);
}

void GreetingRelay::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{mListener, POLLIN, 0}, {mWake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || fds[1].revents)
            return;
        const int client = ::accept(mListener, nullptr, nullptr);
        if (client < 0)
            continue;
        std::lock_guard lock(mMutex);
        mConnections.emplace_back([this, client] { relay(client); });
    }
}

void GreetingRelay::relay(int client)
{
    const int server = connectLoopback(mServerPort);
    if (server < 0) {
        ::close(client);
        return;
    }
    // The greeting: a 4-byte header, protocol 10, the version text, the
    // connection id, 8 bytes of scramble, a filler, then the capabilities.
    unsigned char header[4];
    std::vector<unsigned char> greeting;
    if (readFully(server, header, 4)) {
        greeting.resize(size_t(header[0]) | size_t(header[1]) << 8 | size_t(header[2]) << 16);
        if (readFully(server, greeting.data(), greeting.size()) && !greeting.empty() && greeting[0] == 10) {
            const auto end = std::find(greeting.begin() + 1, greeting.end(), 0);
            const size_t at = size_t(end - greeting.begin()) + 1 + 4 + 8 + 1;
            if (at + 2 <= greeting.size()) {
                if (greeting[at + 1] & (kClientSsl >> 8))
                    ++mStripped;
                greeting[at + 1] &= ~(kClientSsl >> 8);
            }
        }
    }
    if (writeFully(client, header, 4) && writeFully(client, greeting.data(), greeting.size())) {
        unsigned char buffer[16384];
        for (bool open = true; open;) {
            pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {mWake[0], POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0 || fds[2].revents)
                break;
            for (int side = 0; side < 2 && open; ++side) {
                if (!fds[side].revents)
                    continue;
                const ssize_t n = ::read(fds[side].fd, buffer, sizeof buffer);
                open = n > 0 && writeFully(fds[1 - side].fd, buffer, size_t(n));
            }
        }
    }
    ::close(server);
    ::close(client);
}

} // namespace teststore
