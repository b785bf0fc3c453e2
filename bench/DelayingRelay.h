#pragma once
// A relay on the loopback that holds every chunk for half the round trip in
// each direction, as a distant server's network would. It counts the round
// trips a client makes: each time the client speaks again after the server
// answered.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class DelayingRelay {
public:
    DelayingRelay(int targetPort, int roundTripMs);
    ~DelayingRelay();
    DelayingRelay(const DelayingRelay&) = delete;
    DelayingRelay& operator=(const DelayingRelay&) = delete;

    int port() const { return mPort; }
    uint64_t roundTrips() const { return mRoundTrips.load(); }

private:
    struct Link;
    void accept();

    int mTargetPort;
    int mDelayMs; // one way
    int mListener = -1;
    int mPort = 0;
    std::atomic<bool> mStop{false};
    std::atomic<uint64_t> mRoundTrips{0};
    std::thread mAcceptor;
    std::mutex mMutex;
    std::vector<std::shared_ptr<Link>> mLinks;
};
