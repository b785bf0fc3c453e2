#pragma once
// A TCP relay on the loopback in front of a MariaDB server, as an attacker
// between client and server would run it. By default it clears the TLS
// (CLIENT_SSL) capability in the server's greeting and passes everything else
// through unchanged. It can instead answer the client's TLS with a
// self-signed certificate of its own (and open TLS to the server itself, so
// that it reads the whole session in the clear), and it can answer the
// client's log-in with a switch to the clear-text password method.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace teststore {

class GreetingRelay {
public:
    enum class Tls {
        Strip,         // the greeting offers no TLS
        OwnCertificate // TLS to the client with the relay's own certificate
    };
    explicit GreetingRelay(int serverPort, Tls tls = Tls::Strip, bool switchToClearPassword = false);
    ~GreetingRelay();
    GreetingRelay(const GreetingRelay&) = delete;
    GreetingRelay& operator=(const GreetingRelay&) = delete;

    int port() const { return mPort; }
    // The next `connections` connections pass through untouched, as when the
    // attacker lets a first look at the server go by.
    void passThrough(int connections) { mPassThrough.store(connections); }
    // Greetings seen with the TLS capability set (and cleared on the way).
    int strippedGreetings() const { return mStripped.load(); }
    // Clients that completed a TLS handshake with the relay's certificate.
    int tlsClients() const { return mTlsClients.load(); }
    // SHA-256 of the relay's certificate, as colon-joined upper-case hex.
    std::string fingerprint() const { return mFingerprint; }
    // Everything the relay read from clients after any TLS was taken off.
    std::string clientBytes() const;

private:
    void acceptLoop();
    void relay(int client);
    void record(const unsigned char* data, size_t size);

    int mServerPort;
    Tls mTls;
    bool mSwitchToClearPassword;
    int mListener = -1;
    int mPort = 0;
    int mWake[2] = {-1, -1}; // written once to end every loop
    std::atomic<int> mStripped{0};
    std::atomic<int> mTlsClients{0};
    std::atomic<int> mPassThrough{0};
    SSL_CTX* mServerContext = nullptr; // the relay as a TLS server, towards clients
    SSL_CTX* mClientContext = nullptr; // the relay as a TLS client, towards the server
    std::string mFingerprint;
    std::thread mAcceptor;
    mutable std::mutex mMutex;
    std::vector<std::thread> mConnections;
    std::string mClientBytes;
};

} // namespace teststore
