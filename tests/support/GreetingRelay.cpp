#include "support/GreetingRelay.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

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

// One side of a relayed connection: a socket, with TLS over it or not.
struct End {
    int fd = -1;
    SSL* ssl = nullptr;

    ssize_t readSome(unsigned char* data, size_t size)
    {
        if (!ssl)
            return ::read(fd, data, size);
        const int n = SSL_read(ssl, data, int(size));
        return n > 0 ? n : -1;
    }
    bool pending() const { return ssl && SSL_pending(ssl) > 0; }
    void close()
    {
        if (ssl) {
            SSL_free(ssl);
            ssl = nullptr;
        }
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

bool readFully(End& end, unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = end.readSome(data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool writeFully(End& end, const unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = end.ssl ? SSL_write(end.ssl, data, int(size)) : ::send(end.fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// One protocol packet: its 4-byte header (length and sequence number) and payload.
struct Packet {
    unsigned char header[4] = {};
    std::vector<unsigned char> payload;
};

bool readPacket(End& end, Packet& packet)
{
    if (!readFully(end, packet.header, 4))
        return false;
    packet.payload.resize(size_t(packet.header[0]) | size_t(packet.header[1]) << 8 | size_t(packet.header[2]) << 16);
    return readFully(end, packet.payload.data(), packet.payload.size());
}

bool writePacket(End& end, const Packet& packet)
{
    return writeFully(end, packet.header, 4) && writeFully(end, packet.payload.data(), packet.payload.size());
}

// Waits until the socket has something to read, or the time is up.
bool readable(int fd, int milliseconds)
{
    pollfd one{fd, POLLIN, 0};
    return ::poll(&one, 1, milliseconds) > 0;
}

// A self-signed certificate for localhost with a fresh key, as anyone can make one.
bool makeOwnCertificate(SSL_CTX* context, std::string& fingerprint)
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    bool ok = key && certificate;
    if (ok) {
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1,
                                   -1, 0);
        X509_set_issuer_name(certificate, name);
        ok = X509_sign(certificate, key, EVP_sha256()) > 0 && SSL_CTX_use_certificate(context, certificate) == 1
            && SSL_CTX_use_PrivateKey(context, key) == 1;
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (ok && X509_digest(certificate, EVP_sha256(), digest, &length) == 1) {
            static const char hex[] = "0123456789ABCDEF";
            for (unsigned int i = 0; i < length; ++i) {
                if (i)
                    fingerprint += ':';
                fingerprint += hex[digest[i] >> 4];
                fingerprint += hex[digest[i] & 15];
            }
        }
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    return ok && !fingerprint.empty();
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

GreetingRelay::GreetingRelay(int serverPort, Tls tls, bool switchToClearPassword)
    : mServerPort(serverPort), mTls(tls), mSwitchToClearPassword(switchToClearPassword)
{
    if (mTls == Tls::OwnCertificate) {
        mServerContext = SSL_CTX_new(TLS_server_method());
        mClientContext = SSL_CTX_new(TLS_client_method());
        if (!mServerContext || !mClientContext || !makeOwnCertificate(mServerContext, mFingerprint)) {
            ADD_FAILURE() << "the relay cannot make its certificate";
            return;
        }
        SSL_CTX_set_verify(mClientContext, SSL_VERIFY_NONE, nullptr);
    }
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
    SSL_CTX_free(mServerContext);
    SSL_CTX_free(mClientContext);
}

std::string GreetingRelay::clientBytes() const
{
    std::lock_guard lock(mMutex);
    return mClientBytes;
}

void GreetingRelay::record(const unsigned char* data, size_t size)
{
    std::lock_guard lock(mMutex);
    mClientBytes.append(reinterpret_cast<const char*>(data), size);
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

void GreetingRelay::relay(int clientFd)
{
    End client{clientFd};
    End server{connectLoopback(mServerPort)};
    const auto finish = [&] {
        server.close();
        client.close();
    };
    if (server.fd < 0) {
        finish();
        return;
    }
    End* ends[2] = {&client, &server};
    // Bytes from each side to the other, until one closes.
    const auto forward = [&](bool recordClient) {
        unsigned char buffer[16384];
        for (bool open = true; open;) {
            pollfd fds[3] = {{client.fd, POLLIN, 0}, {server.fd, POLLIN, 0}, {mWake[0], POLLIN, 0}};
            if (!client.pending() && !server.pending()) {
                if (::poll(fds, 3, -1) < 0 || fds[2].revents)
                    break;
            }
            for (int side = 0; side < 2 && open; ++side) {
                if (!fds[side].revents && !ends[side]->pending())
                    continue;
                const ssize_t n = ends[side]->readSome(buffer, sizeof buffer);
                if (n > 0 && side == 0 && recordClient)
                    record(buffer, size_t(n));
                open = n > 0 && writeFully(*ends[1 - side], buffer, size_t(n));
            }
        }
    };
    if (int left = mPassThrough.load(); left > 0 && mPassThrough.compare_exchange_strong(left, left - 1)) {
        forward(false);
        finish();
        return;
    }
    // The greeting: protocol 10, the version text, the connection id, 8
    // bytes of scramble, a filler, then the capabilities.
    Packet greeting;
    if (!readPacket(server, greeting) || greeting.payload.empty()) {
        finish();
        return;
    }
    if (mTls == Tls::Strip && greeting.payload[0] == 10) {
        const auto end = std::find(greeting.payload.begin() + 1, greeting.payload.end(), 0);
        const size_t at = size_t(end - greeting.payload.begin()) + 1 + 4 + 8 + 1;
        if (at + 2 <= greeting.payload.size()) {
            if (greeting.payload[at + 1] & (kClientSsl >> 8))
                ++mStripped;
            greeting.payload[at + 1] &= ~(kClientSsl >> 8);
        }
    }
    if (!writePacket(client, greeting)) {
        finish();
        return;
    }
    Packet first;
    if (!readPacket(client, first)) {
        finish();
        return;
    }
    const bool asksForTls = first.payload.size() >= 2 && (first.payload[1] & (kClientSsl >> 8));
    if (mTls == Tls::OwnCertificate && asksForTls) {
        // The client's TLS ends here, with the relay's certificate; the relay
        // asks the server for TLS the same way and takes whatever it presents.
        client.ssl = SSL_new(mServerContext);
        SSL_set_fd(client.ssl, client.fd);
        if (SSL_accept(client.ssl) != 1) {
            finish();
            return;
        }
        ++mTlsClients;
        if (!writePacket(server, first)) {
            finish();
            return;
        }
        server.ssl = SSL_new(mClientContext);
        SSL_set_fd(server.ssl, server.fd);
        if (SSL_connect(server.ssl) != 1 || !readPacket(client, first)) {
            finish();
            return;
        }
    }
    // `first` is now the client's log-in (its account and password proof).
    record(first.payload.data(), first.payload.size());
    if (mSwitchToClearPassword) {
        // "Send me the password itself": what comes back is what a client gives away.
        Packet sw;
        static const std::string method("mysql_clear_password");
        sw.payload.assign(method.size() + 2, 0); // 0xfe, the method's name, its zero byte
        sw.payload[0] = 0xfe;
        std::copy(method.begin(), method.end(), sw.payload.begin() + 1);
        sw.header[0] = std::uint8_t(sw.payload.size());
        sw.header[3] = std::uint8_t(first.header[3] + 1);
        Packet answer;
        if (writePacket(client, sw) && (client.pending() || readable(client.fd, 5000)) && readPacket(client, answer))
            record(answer.payload.data(), answer.payload.size());
        finish();
        return;
    }
    if (writePacket(server, first))
        forward(true);
    finish();
}

} // namespace teststore
