// Group members and sub-groups: read with the groups, rewritten whole by the
// group writers.
#include "model/BMGroup.h"
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/writers/GroupMembership.h"
#include "store/loading/StoreCaches.h"
#include "store/session/StoreSession.h"
#include "store/session/Transaction.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <QRegularExpression>

#include <algorithm>

namespace {

// The identifier is the first blank-delimited word of the column.
QString firstWord(const QString& text)
{
    const QString trimmed = text.trimmed();
    static const QRegularExpression blankPattern(QStringLiteral("\\s"));
    const qsizetype blank = trimmed.indexOf(blankPattern);
    return blank < 0 ? trimmed : trimmed.left(blank);
}

// One of the group's lists, an identifier per row; null with the error path's code.
std::optional<QStringList> readGroupList(TVXStoreSession& database, const char* query, const BMGroup& group, TVXResult* code,
                                         const std::function<QString(sql::ResultSet&)>& column)
{
    const auto guard = database.lockConnection(); // one thread at a time on the connection
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(database.liveConnection().prepareStatement(query));
        stmt->setString(1, group.mGroupUID().toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        QStringList identifiers;
        while (rs->next())
            identifiers << firstWord(column(*rs));
        *code = kTVXDone;
        return identifiers;
    } catch (const sql::SQLException& e) {
        *code = database.reportDatabaseError(e);
        return std::nullopt;
    }
}

// A group's list rewritten whole in one transaction: its rows cleared, then
// one row per entry (entry first, or the group first).
TVXResult rewriteGroupList(TVXStoreSession& database, const char* clearQuery, const char* insertQuery, const QString& groupUID,
                     const QStringList& entries, bool entryFirst)
{
    try {
        sql::Connection& connection = database.liveConnection();
        tvxsql::Transaction transaction(connection);
        std::unique_ptr<sql::PreparedStatement> clear(connection.prepareStatement(clearQuery));
        clear->setString(1, groupUID.toStdString());
        clear->executeUpdate();
        // Many rows a statement: a distant server is asked once, not once a row.
        constexpr qsizetype kRowsPerStatement = 1000;
        for (qsizetype first = 0; first < entries.size(); first += kRowsPerStatement) {
            const qsizetype rows = std::min(kRowsPerStatement, entries.size() - first);
            std::unique_ptr<sql::PreparedStatement> insert(
                connection.prepareStatement(tvxsql::repeatedRowsText(insertQuery, int(rows))));
            for (qsizetype i = 0; i < rows; ++i) {
                const int at = int(i) * 2;
                insert->setString(at + (entryFirst ? 1 : 2), entries[first + i].toStdString());
                insert->setString(at + (entryFirst ? 2 : 1), groupUID.toStdString());
            }
            insert->executeUpdate();
        }
        transaction.commit();
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        return database.reportDatabaseError(e);
    }
}

} // namespace

std::optional<QStringList> TVXGroupMembership::readGroupUserTableforGroup(const BMGroup& group, TVXResult* code)
{
    return readGroupList(mDatabase, kQuerySelectGroupUserList, group, code,
                         [](sql::ResultSet& rs) { return tvxsql::textColumn(rs, 2); });
}

std::optional<QStringList> TVXGroupMembership::readSubgroupListForGroup(const BMGroup& group, TVXResult* code)
{
    return readGroupList(mDatabase, kQueryGroupSubGroupTable, group, code, [](sql::ResultSet& rs) {
        return QString::fromStdString(rs.getString("SUBGROUPID").asStdString());
    });
}

QStringList TVXGroupMembership::widenedMembers(const BMGroup& group) const
{
    // Members of direct sub-groups join the group (one level), after its own.
    QStringList members = group.mUserMembersArray();
    for (const QString& subGroupID : group.mSubGroupsUID()) {
        const auto subGroup = mCaches.mGroups().value(subGroupID);
        if (!subGroup)
            continue;
        for (const QString& member : subGroup->mUserMembersArray())
            if (!members.contains(member))
                members << member;
    }
    return members;
}

TVXResult TVXGroupMembership::insertUserListForGroup(BMGroup& group)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    const QStringList members = widenedMembers(group);
    group.setMUserMembersArray(members);

    // All or nothing: a failure half-way must not lock the members out.
    return rewriteGroupList(mDatabase, kQueryDeleteAllUsersForGroup, kQueryInsertIntoUserGroupList, group.mGroupUID(),
                            members, true);
}

TVXResult TVXGroupMembership::writeUserListForGroup(const BMGroup& group)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    return rewriteGroupList(mDatabase, kQueryDeleteAllUsersForGroup, kQueryInsertIntoUserGroupList, group.mGroupUID(),
                            group.mUserMembersArray(), true);
}

TVXResult TVXGroupMembership::insertSubgroupListForGroup(const BMGroup& group)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    return rewriteGroupList(mDatabase, kQueryDeleteAllSubGroupForGroup, kQueryInsertGroupSubGroupTable, group.mGroupUID(),
                            group.mSubGroupsUID(), false);
}

void TVXGroupMembership::deleteGroupUserTableforGroup(const BMGroup& group, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(
            mDatabase.liveConnection().prepareStatement(kQueryDeleteGroupFromUserGroupList));
        for (const QString& member : group.mUserMembersArray()) {
            stmt->setString(1, member.toStdString());
            stmt->setString(2, group.mGroupUID().toStdString());
            stmt->executeUpdate();
        }
        *code = kTVXDone;
    } catch (const sql::SQLException& e) {
        *code = mDatabase.reportDatabaseError(e);
    }
}

void TVXGroupMembership::deleteGroupSubGroupsListforGroup(const BMGroup& group, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.liveConnection().prepareStatement(kQueryDeleteAllSubGroupForGroup));
        stmt->setString(1, group.mGroupUID().toStdString());
        stmt->executeUpdate();
        *code = kTVXDone;
    } catch (const sql::SQLException& e) {
        *code = mDatabase.reportDatabaseError(e);
    }
}
