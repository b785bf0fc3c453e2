#pragma once
// A group's members and sub-groups on the server: read with the groups,
// rewritten whole by the group writers.
#include "store/session/ResultCodes.h"

#include <QStringList>

#include <optional>

class BMGroup;
class TVXStoreCaches;
class TVXStoreSession;

class TVXGroupMembership {
public:
    TVXGroupMembership(TVXStoreSession& database, const TVXStoreCaches& caches)
        : mDatabase(database)
        , mCaches(caches)
    {
    }
    TVXGroupMembership(const TVXGroupMembership&) = delete;
    TVXGroupMembership& operator=(const TVXGroupMembership&) = delete;

    std::optional<QStringList> readGroupUserTableforGroup(const BMGroup& group, TVXResult* code);
    std::optional<QStringList> readSubgroupListForGroup(const BMGroup& group, TVXResult* code);
    // The group's members with those of its direct sub-groups, as its list is written.
    QStringList widenedMembers(const BMGroup& group) const;
    TVXResult insertUserListForGroup(BMGroup& group); // whole list (widened), one transaction
    // The group's member list as it stands, already widened: reads no cache
    // (a save's server part on the worker).
    TVXResult writeUserListForGroup(const BMGroup& group);
    TVXResult insertSubgroupListForGroup(const BMGroup& group);
    void deleteGroupUserTableforGroup(const BMGroup& group, TVXResult* code);
    void deleteGroupSubGroupsListforGroup(const BMGroup& group, TVXResult* code);

private:
    TVXStoreSession& mDatabase;
    const TVXStoreCaches& mCaches; // sub-groups' members join a group's list
};
