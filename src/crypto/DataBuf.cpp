#include "crypto/DataBuf.h"

#include <cstdlib>
#include <cstring>
#include <new>

DataBuf::DataBuf(char* bytes, size_t length)
    : m_buffer(bytes)
{
    if (bytes)
        setg(bytes, bytes, bytes + length);
}

DataBuf::DataBuf(const QByteArray& bytes)
{
    const size_t n = size_t(bytes.size());
    // One byte more so that an empty value still owns a buffer, like the cipher results.
    m_buffer = static_cast<char*>(malloc(n + 1));
    if (!m_buffer)
        throw std::bad_alloc();
    memcpy(m_buffer, bytes.constData(), n);
    m_buffer[n] = '\0';
    setg(m_buffer, m_buffer, m_buffer + n);
}

DataBuf::~DataBuf()
{
    free(m_buffer);
}
