// In-memory queries: the record lists the windows show, groups and types for
// pop-ups and editors, users, lookups, view counts and the record permission
// rule. Everything works on the caches; no statement runs here.
#include "store/StoreCaches.h"

#include "model/BMGroup.h"
#include "model/PasswordGenerator.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/ParallelFor.h"
#include "store/PermissionRules.h"
#include "store/RecordSearch.h"

#include <QSet>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

bool groupIs(const TVXRecord& record, const QString* groupUID)
{
    return !groupUID || (record.mGroup() && record.mGroup()->mGroupUID() == *groupUID);
}

bool typeIs(const TVXRecord& record, const QString* typeUID)
{
    return !typeUID || (record.mType() && record.mType()->mTypeUID() == *typeUID);
}

// A large cache is walked on several threads: one thread reading a million
// records one after another waits on memory at each.
constexpr qsizetype kParallelWalkFrom = 32768;

// Runs part(begin, end) over [0, count) in one piece a thread.
template <class Part> void inPieces(std::size_t count, std::size_t pieces, Part&& part)
{
    tvxsql::parallelFor(
        pieces, [&](std::size_t p) { part(count * p / pieces, count * (p + 1) / pieces, p); }, 1);
}

// The cached records in the cache's order, and which of them are of the
// group and type and pass the search.
struct Selection {
    std::vector<const TVXRecord*> walk;
    std::vector<char> found;
};

Selection select(const TVXRecordCache& records, RecordSearchIndex& index, const QString* groupUID,
                 const QString* typeUID, const QString& searchString)
{
    Selection selection;
    selection.walk.reserve(static_cast<size_t>(records.size()));
    for (const auto& record : records)
        selection.walk.push_back(record.get());
    // Entries are made ready first (a first search after a load makes them
    // all, on several threads), then tested on several threads.
    const bool searching = !searchString.isEmpty();
    const SearchNeedle needle(searching ? searchString : QString());
    if (searching)
        index.prepareWalk(selection.walk);
    selection.found.assign(selection.walk.size(), 0);
    tvxsql::parallelFor(
        selection.walk.size(),
        [&](std::size_t i) {
            const TVXRecord* record = selection.walk[i];
            selection.found[i] = record && groupIs(*record, groupUID) && typeIs(*record, typeUID)
                                 && (!searching || index.preparedEntryAt(static_cast<qsizetype>(i)).contains(needle));
        },
        4096);
    return selection;
}

// Calls fn with every cached record of the group and type that passes the
// search, in the cache's order.
template <class Fn>
void forEachSelected(const TVXRecordCache& records, RecordSearchIndex& index, const QString* groupUID,
                     const QString* typeUID, const QString& searchString, Fn&& fn)
{
    if (searchString.isEmpty() && records.size() < kParallelWalkFrom) {
        for (const auto& record : records) {
            if (record && groupIs(*record, groupUID) && typeIs(*record, typeUID))
                fn(record);
        }
        return;
    }
    const Selection selection = select(records, index, groupUID, typeUID, searchString);
    std::size_t position = 0;
    for (const auto& record : records) {
        if (selection.found[position++])
            fn(record);
    }
}

const QString* uidOf(const BMGroup* group) { return group ? &group->mGroupUID() : nullptr; }
const QString* uidOf(const TVXType* type) { return type ? &type->mTypeUID() : nullptr; }

// By name ignoring case, then identifier, so that equal names keep one order.
template <class T, class Name, class Uid>
void sortByName(QList<std::shared_ptr<T>>& list, Name name, Uid uid)
{
    std::sort(list.begin(), list.end(), [&](const auto& a, const auto& b) {
        const int order = ((*a).*name)().compare(((*b).*name)(), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : ((*a).*uid)() < ((*b).*uid)();
    });
}

void sortGroups(TVXStoreCaches::GroupList& list)
{
    sortByName(list, &BMGroup::mGroupName, &BMGroup::mGroupUID);
}

void sortTypes(TVXStoreCaches::TypeList& list)
{
    sortByName(list, &TVXType::mTypeName, &TVXType::mTypeUID);
}

} // namespace

TVXStoreCaches::TVXStoreCaches()
    : m_currentUser(TVXUser::createUser())
{
}

TVXStoreCaches::~TVXStoreCaches() = default;

// --- the search index ------------------------------------------------------------

RecordSearchIndex& TVXStoreCaches::recordSearchIndex() const
{
    if (!mRecordSearchIndex)
        mRecordSearchIndex = std::make_shared<RecordSearchIndex>();
    return *mRecordSearchIndex;
}

void TVXStoreCaches::pruneRecordSearchIndex() const
{
    // After a scan of every record the index holds an entry per searched record;
    // more entries than records means some belong to records that are gone
    // (deleted, or replaced by a reload).
    RecordSearchIndex& index = recordSearchIndex();
    if (index.size() <= m_records.size())
        return;
    QList<const TVXRecord*> live;
    live.reserve(m_records.size());
    for (const auto& record : m_records)
        live.append(record.get());
    index.retainOnly(live);
}

void TVXStoreCaches::refreshRecordSearchEntry(const TVXRecord& record)
{
    if (m_records.value(record.mRecordUID()).get() == &record)
        recordSearchIndex().refresh(record);
    else
        recordSearchIndex().forget(record);
}

void TVXStoreCaches::prepareRecordSearchIndex() const
{
    std::vector<const TVXRecord*> walk;
    walk.reserve(static_cast<size_t>(m_records.size()));
    for (const auto& record : m_records)
        walk.push_back(record.get());
    recordSearchIndex().prepareWalk(walk);
    pruneRecordSearchIndex();
}

// --- record lists ------------------------------------------------------------------

TVXStoreCaches::RecordList TVXStoreCaches::itemsOfGroup(const BMGroup* group, const TVXType* type,
                                                  const QString& searchString) const
{
    RecordList items;
    forEachSelected(m_records, recordSearchIndex(), uidOf(group), uidOf(type), searchString,
                    [&items](const std::shared_ptr<TVXRecord>& record) { items.append(record); });
    pruneRecordSearchIndex();
    return items;
}

qsizetype TVXStoreCaches::itemsCountOfGroup(const BMGroup* group, const TVXType* type,
                                         const QString& searchString) const
{
    qsizetype count = 0;
    forEachSelected(m_records, recordSearchIndex(), uidOf(group), uidOf(type), searchString,
                    [&count](const std::shared_ptr<TVXRecord>&) { ++count; });
    pruneRecordSearchIndex();
    return count;
}

TVXStoreCaches::RecordList TVXStoreCaches::itemsOfGroup(const BMGroup* group, const TVXType* type,
                                                  const QString& searchString, int columnID,
                                                  bool ascending) const
{
    RecordList items = itemsOfGroup(group, type, searchString);
    sortRecordList(items, columnID, ascending, recordSearchIndex(), QDateTime::currentDateTime());
    return items;
}

TVXStoreCaches::RecordList TVXStoreCaches::itemsOfGroup(const BMGroup* group, const QString& searchString) const
{
    return itemsOfGroup(group, static_cast<const TVXType*>(nullptr), searchString);
}

TVXStoreCaches::RecordList TVXStoreCaches::itemsOfGroup(const BMGroup* group, const QString& searchString,
                                                  const QStringList& uids) const
{
    // The lists are short: look each identifier up rather than scan the cache.
    const bool searching = !searchString.isEmpty();
    const SearchNeedle needle(searching ? searchString : QString());
    RecordSearchIndex& index = recordSearchIndex();
    RecordList items;
    QSet<QString> seen;
    for (const QString& uid : uids) {
        if (seen.contains(uid))
            continue;
        seen.insert(uid);
        const auto record = m_records.value(uid);
        if (!record || !groupIs(*record, uidOf(group)))
            continue;
        if (searching && !index.entryFor(*record).contains(needle))
            continue;
        items.append(record);
    }
    return items;
}

TVXStoreCaches::RecordList TVXStoreCaches::itemsOfCategory(const BMGroup* group, const QString& searchString,
                                                     const QStringList& uids) const
{
    return itemsOfGroup(group, searchString, uids);
}

TVXStoreCaches::TypeList TVXStoreCaches::allTypesForGroup(const QString& groupUID, const QString& searchString) const
{
    const Selection selection =
        select(m_records, recordSearchIndex(), groupUID.isNull() ? nullptr : &groupUID, nullptr, searchString);
    const std::size_t pieces = std::clamp<std::size_t>(selection.walk.size() / 4096, 1, 8);
    std::vector<QHash<const TVXType*, std::shared_ptr<TVXType>>> found(pieces);
    inPieces(selection.walk.size(), pieces, [&](std::size_t begin, std::size_t end, std::size_t piece) {
        for (std::size_t i = begin; i < end; ++i) {
            if (!selection.found[i])
                continue;
            const auto& type = selection.walk[i]->mType();
            if (type && !found[piece].contains(type.get()))
                found[piece].insert(type.get(), type);
        }
    });
    pruneRecordSearchIndex();
    QHash<const TVXType*, std::shared_ptr<TVXType>> listed;
    for (const auto& piece : found)
        listed.insert(piece);
    TypeList types(listed.cbegin(), listed.cend());
    sortTypes(types);
    return types;
}

QHash<QString, qsizetype> TVXStoreCaches::recordCountsByGroup(const QString& searchString) const
{
    const Selection selection = select(m_records, recordSearchIndex(), nullptr, nullptr, searchString);
    const std::size_t pieces = std::clamp<std::size_t>(selection.walk.size() / 4096, 1, 8);
    std::vector<QHash<const BMGroup*, qsizetype>> counted(pieces);
    inPieces(selection.walk.size(), pieces, [&](std::size_t begin, std::size_t end, std::size_t piece) {
        for (std::size_t i = begin; i < end; ++i)
            if (selection.found[i] && selection.walk[i]->mGroup())
                ++counted[piece][selection.walk[i]->mGroup().get()];
    });
    pruneRecordSearchIndex();
    QHash<QString, qsizetype> byUID;
    for (const auto& piece : counted)
        for (auto it = piece.cbegin(); it != piece.cend(); ++it)
            byUID[it.key()->mGroupUID()] += it.value();
    return byUID;
}

bool TVXStoreCaches::containsString(const QString& searchString, const TVXRecord& record) const
{
    if (searchString.isEmpty())
        return true;
    const SearchNeedle needle(searchString);
    // Records outside the cache (an import's, a sheet's copy) are not kept in the index.
    if (m_records.value(record.mRecordUID()).get() == &record)
        return recordSearchIndex().entryFor(record).contains(needle);
    return RecordSearchEntry(record).contains(needle);
}

bool TVXStoreCaches::anyRecordHasAtachementinArray() const
{
    return std::any_of(m_records.cbegin(), m_records.cend(),
                       [](const auto& record) { return record && record->mHasAttachment(); });
}

bool TVXStoreCaches::anyRecordHasAtachementinArray(const RecordList& records) const
{
    return std::any_of(records.cbegin(), records.cend(),
                       [](const auto& record) { return record && record->mHasAttachment(); });
}

// --- groups and types ----------------------------------------------------------------

TVXStoreCaches::GroupList TVXStoreCaches::groups(bool includePersonalGroup) const
{
    const QString& personal = m_currentUser->mUserID();
    GroupList list;
    for (auto it = m_groups.cbegin(); it != m_groups.cend(); ++it) {
        if (*it && (includePersonalGroup || it.key() != personal))
            list.append(*it);
    }
    sortGroups(list);
    return list;
}

TVXStoreCaches::GroupList TVXStoreCaches::groupsForEditing(bool) const
{
    return groups(true);
}

TVXStoreCaches::GroupList TVXStoreCaches::groupsWithPermission(uint16_t mask) const
{
    GroupList list = groupsForEditing();
    list.removeIf([this, mask](const auto& group) { return !checkRecordPermission(mask, group.get()); });
    return list;
}

TVXStoreCaches::GroupList TVXStoreCaches::subGroupsForGroupWithID(const QString& groupUID) const
{
    const QString& personal = m_currentUser->mUserID();
    GroupList list = groupsForEditing();
    list.removeIf([&](const auto& group) {
        const QString& uid = group->mGroupUID();
        return uid == kUnfiledUID || uid == groupUID || uid == personal;
    });
    return list;
}

TVXStoreCaches::TypeList TVXStoreCaches::typesForEditing(bool) const
{
    TypeList list;
    for (const auto& type : m_types) {
        if (type)
            list.append(type);
    }
    sortTypes(list);
    return list;
}

TVXStoreCaches::TypeList TVXStoreCaches::types(bool, const BMGroup* group) const
{
    if (!group)
        return {};
    TypeList list = typesForEditing();
    list.removeIf([group](const auto& type) { return type->mSelectedGroupUID() != group->mGroupUID(); });
    return list;
}

std::shared_ptr<BMGroup> TVXStoreCaches::groupWithUID(const QString& uid) const
{
    return m_groups.value(uid);
}

std::shared_ptr<TVXType> TVXStoreCaches::typeWithUID(const QString& uid) const
{
    return m_types.value(uid);
}

std::shared_ptr<TVXRecord> TVXStoreCaches::recordWithUID(const QString& uid) const
{
    return m_records.value(uid);
}

std::shared_ptr<TVXRecord> TVXStoreCaches::getRecordForUID(const QString& uid) const
{
    return m_records.value(uid);
}

std::shared_ptr<TVXRecord> TVXStoreCaches::giveRecordForID(const QString& uid) const
{
    return m_records.value(uid);
}

std::shared_ptr<BMGroup> TVXStoreCaches::getGroupFromGroupName(const QString& name) const
{
    for (const auto& group : groupsForEditing()) {
        if (group->mGroupName() == name)
            return group;
    }
    return nullptr;
}

// The first of the sorted list with the very same name: equal names sort by
// identifier, so the one with the least identifier, found without sorting.
std::shared_ptr<TVXType> TVXStoreCaches::findSimilarType(const TVXType& type, const BMGroup*) const
{
    std::shared_ptr<TVXType> found;
    for (const auto& other : m_types) {
        if (other && other.get() != &type && other->mTypeName() == type.mTypeName()
            && (!found || other->mTypeUID() < found->mTypeUID()))
            found = other;
    }
    return found;
}

std::shared_ptr<BMGroup> TVXStoreCaches::findSimilarCategory(const BMGroup& group) const
{
    for (const auto& other : groupsForEditing()) {
        if (other.get() != &group && other->mGroupName() == group.mGroupName())
            return other;
    }
    return nullptr;
}

// --- users ---------------------------------------------------------------------------

TVXStoreCaches::UserList TVXStoreCaches::sortedUsersContainsString(const QString& searchString) const
{
    const QString prefix = foldSearchText(searchString);
    UserList list;
    for (const auto& user : m_users) {
        if (user && (prefix.isEmpty() || foldSearchText(user->mUsername()).startsWith(prefix)))
            list.append(user);
    }
    sortByName(list, &TVXUser_Admin::mUsername, &TVXUser_Admin::mUserID);
    return list;
}

bool TVXStoreCaches::userNameExistWithName(const QString& name) const
{
    return std::any_of(m_users.cbegin(), m_users.cend(), [&name](const auto& user) {
        return user && user->mUsername().compare(name, Qt::CaseInsensitive) == 0;
    });
}

void TVXStoreCaches::addUserToGroupListForGroups(const QString& userID, const QStringList& groupUIDs)
{
    // Set the membership from the chosen list itself rather than from the
    // user's own group list, which the caller may already have overwritten.
    for (const auto& group : m_groups) {
        if (!group)
            continue;
        if (groupUIDs.contains(group->mGroupUID()))
            group->addMember(userID);
        else
            group->mUserMembersArray().removeAll(userID);
    }
}

// --- view counts ---------------------------------------------------------------------

void TVXStoreCaches::incrementViewCountofRecord(const QString& uid)
{
    const auto record = m_records.value(uid);
    if (record && record->mViewCounter() < std::numeric_limits<int32_t>::max())
        record->setMViewCounter(record->mViewCounter() + 1);
}

int32_t TVXStoreCaches::getViewCountofRecord(const QString& uid) const
{
    const auto record = m_records.value(uid);
    return record ? record->mViewCounter() : 0;
}

// --- permissions -----------------------------------------------------------------------

uint16_t TVXStoreCaches::recordPermissionsInGroup(const BMGroup* group, uint16_t userRecordBits)
{
    return storerules::recordPermissionsInGroup(group, userRecordBits);
}

uint16_t TVXStoreCaches::recordPermissionsInGroup(const BMGroup* group) const
{
    return recordPermissionsInGroup(group, m_currentUser->mRecordPermissionsBit());
}

bool TVXStoreCaches::checkRecordPermission(uint16_t mask, const BMGroup* group) const
{
    return (recordPermissionsInGroup(group) & mask) != 0;
}

// --- text helpers ----------------------------------------------------------------------

QString TVXStoreCaches::getRandomPassKey(const QString&) const
{
    // Lower case, upper case, digits and symbols.
    return generatePassword(15, 16);
}

std::string TVXStoreCaches::voidConvertNSStringToChar(const QString& text)
{
    return text.toStdString();
}
