#pragma once
// A TCP relay on the loopback in front of a MariaDB server that clears the
// TLS (CLIENT_SSL) capability in the server's greeting and passes everything
// else through unchanged, as an attacker between client and server would.
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace teststore {

class GreetingRelay {
public:
    explicit GreetingRelay(int serverPort);
    ~GreetingRelay();
    GreetingRelay(const GreetingRelay&) = delete;
    GreetingRelay& operator=(const GreetingRelay&) = delete;

    int port() const { return mPort; }
    // Greetings seen with the TLS capability set (and cleared on the way).
    int strippedGreetings() const { return mStripped.load(); }

private:
    void acceptLoop();
    void relay(int client);

    int mServerPort;
    int mListener = -1;
    int mPort = 0;
    int mWake[2] = {-1, -1}; // written once to end every loop
    std::atomic<int> mStripped{0};
    std::thread mAcceptor;
    std::mutex mMutex;
    std::vector<std::thread> mConnections;
};

} // namespace teststore
