#include "store/session/ReadAhead.h"

#include <cppconn/connection.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

// Only such keys are written into a statement's text (identifiers are 16
// hexadecimal digits): nothing in them can end the quoted text.
bool isPlainKey(const QString& key)
{
    if (key.isEmpty() || key.size() > 64)
        return false;
    for (const QChar c : key)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
              || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))))
            return false;
    return true;
}

// The query with its one placeholder replaced by the quoted key; empty when
// the query does not take exactly one.
std::string withKey(const char* query, const QString& key)
{
    std::string text = query;
    const size_t at = text.find('?');
    if (at == std::string::npos || text.find('?', at + 1) != std::string::npos)
        return {};
    text.replace(at, 1, '\'' + key.toStdString() + '\'');
    return text;
}

bool sameRead(const TVXReadAhead::Read& read, const char* query, const QString& key)
{
    return std::strcmp(read.query, query) == 0 && read.key.isNull() == key.isNull() && read.key == key;
}

} // namespace

TVXReadAhead::~TVXReadAhead()
{
    try {
        drop();
    } catch (...) {
        // a connection gone meanwhile: nothing left to read
    }
}

void TVXReadAhead::send(sql::Connection& connection, std::unique_lock<TVXConnectionGuard> guard,
                        std::vector<Read> reads)
{
    drop();
    std::string text;
    std::size_t count = 0;
    for (const Read& read : reads) {
        std::string one = read.query;
        if (!read.key.isNull()) {
            one = isPlainKey(read.key) ? withKey(read.query, read.key) : std::string();
            if (one.empty())
                break;
        }
        if (count)
            text += ";\n";
        text += one;
        ++count;
    }
    reads.erase(reads.begin() + std::ptrdiff_t(count), reads.end());
    if (count < 2)
        return; // nothing to gain: each runs alone
    // The last result is held whole, so that once it is taken nothing is due.
    reads.back().streamed = false;
    mStatement.reset(connection.createStatement());
    mConnection = &connection;
    mReads = std::move(reads);
    mNext = 0;
    mHandedOut = false;
    mFailure.reset();
    mGuard = std::move(guard);
    mSentTogether += count;
    try {
        mStatement->execute(text);
    } catch (const sql::SQLException& e) {
        mFailure.emplace(e); // the first read's answer
    }
}

tvxsql::Rows TVXReadAhead::rows(sql::Connection& connection, const char* query, bool streamed)
{
    return take(connection, query, QString(), streamed);
}

tvxsql::Rows TVXReadAhead::rowsFor(sql::Connection& connection, const char* query, const QString& key)
{
    return take(connection, query, key.isNull() ? QStringLiteral("") : key, false);
}

tvxsql::Rows TVXReadAhead::take(sql::Connection& connection, const char* query, const QString& key, bool streamed)
{
    if (pending() && &connection == mConnection) {
        if (std::optional<tvxsql::Rows> taken = fromBatch(query, key))
            return std::move(*taken);
    }
    tvxsql::Rows rows;
    if (key.isNull()) {
        rows.statement.reset(connection.createStatement());
        if (streamed)
            rows.statement->setResultSetType(sql::ResultSet::TYPE_FORWARD_ONLY);
        rows.rows.reset(rows.statement->executeQuery(query));
    } else {
        rows.prepared.reset(connection.prepareStatement(query));
        rows.prepared->setString(1, key.toStdString());
        rows.rows.reset(rows.prepared->executeQuery());
    }
    return rows;
}

std::optional<tvxsql::Rows> TVXReadAhead::fromBatch(const char* query, const QString& key)
{
    try {
        if (mHandedOut)
            advance();
        std::size_t at = mNext;
        while (at < mReads.size() && !sameRead(mReads[at], query, key))
            ++at;
        if (at < mReads.size()) {
            while (mNext < at && !mFailure)
                skipCurrent();
            if (mFailure && mNext == at)
                throw *mFailure; // as the read alone would have met it
            if (!mFailure) {
                mStatement->setResultSetType(mReads[at].streamed ? sql::ResultSet::TYPE_FORWARD_ONLY
                                                                 : sql::ResultSet::TYPE_SCROLL_INSENSITIVE);
                tvxsql::Rows rows;
                rows.rows.reset(mStatement->getResultSet());
                if (!rows.rows)
                    throw sql::SQLException("A read sent ahead gave no rows", "HY000", 2014);
                if (mNext + 1 == mReads.size())
                    end();
                else
                    mHandedOut = true;
                return rows;
            }
        }
        drop(); // not among them, or after a failure: the connection is freed for it
    } catch (...) {
        end();
        throw;
    }
    return std::nullopt;
}

void TVXReadAhead::skipCurrent()
{
    mStatement->setResultSetType(mReads[mNext].streamed ? sql::ResultSet::TYPE_FORWARD_ONLY
                                                        : sql::ResultSet::TYPE_SCROLL_INSENSITIVE);
    std::unique_ptr<sql::ResultSet> unread(mStatement->getResultSet());
    unread.reset(); // a streamed one reads its rest here
    advance();
}

void TVXReadAhead::advance()
{
    mHandedOut = false;
    ++mNext;
    if (mNext >= mReads.size()) {
        end();
        return;
    }
    try {
        if (!mStatement->getMoreResults())
            end(); // the server sent fewer results than reads
    } catch (const sql::SQLException& e) {
        mFailure.emplace(e); // nothing more follows a failed statement
    }
}

void TVXReadAhead::drop()
{
    if (!pending())
        return;
    try {
        if (mHandedOut)
            advance();
        while (pending() && !mFailure)
            skipCurrent();
    } catch (...) {
        end();
        throw;
    }
    end();
}

void TVXReadAhead::end()
{
    mReads.clear();
    mNext = 0;
    mHandedOut = false;
    mFailure.reset();
    mConnection = nullptr;
    if (mGuard.owns_lock())
        mGuard.unlock();
    mGuard = {};
}
