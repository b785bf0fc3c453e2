#pragma once
// Read-only stream buffer over bytes it owns, and the input stream over it that is handed
// to a prepared statement's BLOB setter. Both must live until the statement has run.
#include <QByteArray>

#include <cstddef>
#include <istream>
#include <streambuf>

class DataBuf : public std::streambuf {
public:
    // Owns nothing; reads as empty.
    DataBuf() = default;
    // Takes over bytes allocated with malloc and frees them when destroyed.
    DataBuf(char* bytes, size_t length);
    // Copies bytes into a buffer of its own.
    explicit DataBuf(const QByteArray& bytes);
    ~DataBuf() override;

    DataBuf(const DataBuf&) = delete;
    DataBuf& operator=(const DataBuf&) = delete;

    const char* data() const { return eback(); }
    size_t size() const { return size_t(egptr() - eback()); }

private:
    char* m_buffer = nullptr;
};

// Reads a DataBuf it does not own.
class BinaryStream : public std::istream {
public:
    explicit BinaryStream(DataBuf* buf) : std::istream(buf) {}
};
