#include "store/session/ReadAhead.h"

#include <cppconn/connection.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

// Only such keys are written into a statement's text (identifiers are 16
// hexadecimal digits, account names mostly letters and digits): nothing in
// them can end the quoted text or escape a character.
bool isPlainKey(const QString& key)
{
    if (key.isEmpty() || key.size() > 64)
        return false;
    for (const QChar c : key)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
              || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || c == QLatin1Char('_') || c == QLatin1Char('.')
              || c == QLatin1Char('-')))
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

// The reads' statements joined into one text; `reads` is cut before the
// first whose key cannot be written into it.
std::string batchText(std::vector<TVXReadAhead::Read>& reads)
{
    std::string text;
    std::size_t count = 0;
    for (const TVXReadAhead::Read& read : reads) {
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
    const std::string text = batchText(reads);
    const std::size_t count = reads.size();
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

void TVXReadAhead::fetchAll(sql::Connection& connection, std::vector<Read> reads)
{
    drop();
    forgetFetched();
    const std::string text = batchText(reads);
    if (reads.size() < 2)
        return;
    mFetchedStatement.reset(connection.createStatement());
    mFetchedOn = &connection;
    mSentTogether += reads.size();
    try {
        mFetchedStatement->execute(text);
        for (std::size_t n = 0; n < reads.size(); ++n) {
            if (n > 0 && !mFetchedStatement->getMoreResults())
                break;
            std::unique_ptr<sql::ResultSet> rows(mFetchedStatement->getResultSet());
            if (!rows)
                break;
            mFetched.push_back({reads[n], std::move(rows), nullptr});
        }
    } catch (const sql::SQLException& e) {
        // Nothing after a failed statement was run: those reads run alone.
        mFetched.push_back({reads[mFetched.size()], nullptr, std::make_shared<const sql::SQLException>(e)});
    }
}

void TVXReadAhead::forgetFetched()
{
    mFetched.clear();
    mFetchedStatement.reset();
    mFetchedOn = nullptr;
}

std::optional<tvxsql::Rows> TVXReadAhead::fromFetched(const char* query, const QString& key)
{
    for (auto it = mFetched.begin(); it != mFetched.end(); ++it) {
        if (!sameRead(it->read, query, key))
            continue;
        Fetched taken = std::move(*it);
        mFetched.erase(it);
        if (taken.failure)
            throw *taken.failure; // as the read alone would have met it
        tvxsql::Rows rows;
        rows.rows = std::move(taken.rows);
        return rows;
    }
    return std::nullopt;
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
    if (!mFetched.empty() && &connection == mFetchedOn) {
        if (std::optional<tvxsql::Rows> taken = fromFetched(query, key))
            return std::move(*taken);
    }
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
