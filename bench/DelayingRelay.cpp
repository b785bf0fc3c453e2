#include "DelayingRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <stdexcept>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void noDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

// One client connection: a reader and a writer per direction, the writer
// sending each chunk once its time has come.
struct DelayingRelay::Link {
    struct Direction {
        int from = -1;
        int to = -1;
        std::mutex mutex;
        std::condition_variable ready;
        std::deque<std::pair<Clock::time_point, std::string>> chunks;
        bool ended = false;
        std::thread reader;
        std::thread writer;
    };
    Direction up;   // client to server
    Direction down; // server to client
    std::atomic<bool> serverSpokeLast{true};

    void start(DelayingRelay& relay, Direction& d, bool upwards)
    {
        d.reader = std::thread([&relay, &d, this, upwards] {
            char buffer[65536];
            for (;;) {
                const ssize_t n = ::recv(d.from, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                if (upwards && serverSpokeLast.exchange(false))
                    ++relay.mRoundTrips;
                if (!upwards)
                    serverSpokeLast = true;
                std::lock_guard lock(d.mutex);
                d.chunks.emplace_back(Clock::now() + std::chrono::milliseconds(relay.mDelayMs),
                                      std::string(buffer, size_t(n)));
                d.ready.notify_one();
            }
            std::lock_guard lock(d.mutex);
            d.ended = true;
            d.ready.notify_one();
        });
        d.writer = std::thread([&d] {
            std::unique_lock lock(d.mutex);
            for (;;) {
                d.ready.wait(lock, [&] { return d.ended || !d.chunks.empty(); });
                if (d.chunks.empty())
                    break;
                auto [due, bytes] = std::move(d.chunks.front());
                d.chunks.pop_front();
                lock.unlock();
                std::this_thread::sleep_until(due);
                size_t sent = 0;
                while (sent < bytes.size()) {
                    const ssize_t n = ::send(d.to, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0)
                        break;
                    sent += size_t(n);
                }
                lock.lock();
            }
            ::shutdown(d.to, SHUT_WR);
        });
    }
    void join()
    {
        for (Direction* d : {&up, &down}) {
            ::shutdown(d->from, SHUT_RDWR);
            if (d->reader.joinable())
                d->reader.join();
            if (d->writer.joinable())
                d->writer.join();
        }
        ::close(up.from);
        ::close(down.from);
    }
};

DelayingRelay::DelayingRelay(int targetPort, int roundTripMs) : mTargetPort(targetPort), mDelayMs(roundTripMs / 2)
{
    mListener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(mListener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(mListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(mListener, 16) != 0
        || ::getsockname(mListener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the relay cannot listen");
    mPort = ntohs(address.sin_port);
    mAcceptor = std::thread([this] { accept(); });
}

DelayingRelay::~DelayingRelay()
{
    mStop = true;
    ::shutdown(mListener, SHUT_RDWR);
    mAcceptor.join();
    ::close(mListener);
    std::lock_guard lock(mMutex);
    for (const auto& link : mLinks)
        link->join();
}

void DelayingRelay::accept()
{
    while (!mStop) {
        pollfd waiting{mListener, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0)
            continue;
        const int client = ::accept(mListener, nullptr, nullptr);
        if (client < 0)
            continue;
        const int server = connectTo(mTargetPort);
        if (server < 0) {
            ::close(client);
            continue;
        }
        noDelay(client);
        noDelay(server);
        auto link = std::make_shared<Link>();
        link->up.from = client;
        link->up.to = server;
        link->down.from = server;
        link->down.to = client;
        link->start(*this, link->up, true);
        link->start(*this, link->down, false);
        std::lock_guard lock(mMutex);
        mLinks.push_back(std::move(link));
    }
}
