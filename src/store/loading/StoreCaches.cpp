// In-memory queries: the record lists the windows show, groups and types for
// pop-ups and editors, users, lookups, view counts and the record permission
// rule. Everything works on the caches; no statement runs here.
#include "store/loading/StoreCaches.h"

#include "model/BMGroup.h"
#include "model/PasswordGenerator.h"
#include "model/RecordTextHook.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/loading/ParallelFor.h"
#include "store/accounts/PermissionRules.h"
#include "store/loading/RecordSearch.h"

#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <limits>
#include <map>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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
// group and type and pass the search. Shared: a batch keeps them for the
// queries after.
using Walk = std::vector<const TVXRecord*>;
struct Selection {
    std::shared_ptr<const Walk> walk;
    std::shared_ptr<const std::vector<char>> found;
};

// A group or type filter, or none; and the search text.
using SelectionKey = std::tuple<std::optional<QString>, std::optional<QString>, QString>;

std::optional<QString> keyOf(const QString* uid) { return uid ? std::optional<QString>(*uid) : std::nullopt; }

} // namespace

// Which records of a walk the last search text found: the types present, the
// list and the group counts of one refresh each ask, and one scan answers
// them all while no record changed and the walk is the same.
struct TVXStoreCaches::SearchMemo {
    QString folded;
    uint64_t epoch = 0;
    std::vector<const TVXRecord*> walk;
    std::vector<char> matches;
};

// The answers given while a batch is open.
struct TVXStoreCaches::BatchMemo {
    int depth = 0;
    uint64_t epoch = 0;
    qsizetype recordCount = 0;
    QHash<QString, QHash<QString, qsizetype>> counts;
    std::map<std::pair<QString, QString>, TypeList> types;
    std::map<std::pair<std::optional<QString>, QString>, QHash<QString, qsizetype>> typeCounts;
    // Group, type, search text, sorted, column, ascending.
    std::map<std::tuple<const void*, const void*, QString, bool, int, bool>, RecordList> lists;
    // The walk of the cache, made once a batch, and which records each filter selected.
    std::shared_ptr<const Walk> walk;
    std::map<SelectionKey, std::shared_ptr<const std::vector<char>>> selections;

    void clear()
    {
        counts.clear();
        types.clear();
        typeCounts.clear();
        lists.clear();
        walk.reset();
        selections.clear();
    }
};

namespace {

Selection select(const TVXRecordCache& records, RecordSearchIndex& index, TVXStoreCaches::SearchMemo& memo,
                 TVXStoreCaches::BatchMemo* batch, const QString* groupUID, const QString* typeUID,
                 const QString& searchString)
{
    Selection selection;
    if (batch && batch->walk) {
        selection.walk = batch->walk;
    } else {
        auto walk = std::make_shared<Walk>();
        walk->reserve(static_cast<size_t>(records.size()));
        for (const auto& record : records)
            walk->push_back(record.get());
        selection.walk = std::move(walk);
        if (batch)
            batch->walk = selection.walk;
    }
    const SelectionKey key(keyOf(groupUID), keyOf(typeUID), searchString);
    if (batch) {
        if (const auto it = batch->selections.find(key); it != batch->selections.end()) {
            selection.found = it->second;
            return selection;
        }
    }
    const Walk& walk = *selection.walk;
    const bool searching = !searchString.isEmpty();
    if (searching) {
        const SearchNeedle needle(searchString);
        if (memo.folded != needle.folded() || memo.epoch != TVXRecord::changeEpoch() || memo.walk != walk) {
            // Entries are made ready first (those a change left stale, or
            // all when none were prepared), then tested on several threads.
            index.prepareWalk(walk);
            memo.matches.assign(walk.size(), 0);
            tvxsql::parallelFor(
                walk.size(),
                [&](std::size_t i) {
                    memo.matches[i] = walk[i] && index.preparedEntryAt(static_cast<qsizetype>(i)).contains(needle);
                },
                4096);
            memo.folded = needle.folded();
            memo.epoch = TVXRecord::changeEpoch();
            memo.walk = walk;
        }
    }
    auto found = std::make_shared<std::vector<char>>(walk.size(), 0);
    tvxsql::parallelFor(
        walk.size(),
        [&](std::size_t i) {
            const TVXRecord* record = walk[i];
            (*found)[i] = record && groupIs(*record, groupUID) && typeIs(*record, typeUID)
                          && (!searching || memo.matches[i]);
        },
        4096);
    selection.found = std::move(found);
    if (batch)
        batch->selections[key] = selection.found;
    return selection;
}

// Calls fn with every cached record of the group and type that passes the
// search, in the cache's order; reserve first with how many there are, when a walk tells.
template <class Fn, class Reserve>
void forEachSelected(const TVXRecordCache& records, RecordSearchIndex& index, TVXStoreCaches::SearchMemo& memo,
                     TVXStoreCaches::BatchMemo* batch, const QString* groupUID, const QString* typeUID,
                     const QString& searchString, Fn&& fn, Reserve&& reserve)
{
    if (searchString.isEmpty() && records.size() < kParallelWalkFrom) {
        for (const auto& record : records) {
            if (record && groupIs(*record, groupUID) && typeIs(*record, typeUID))
                fn(record);
        }
        return;
    }
    const Selection selection = select(records, index, memo, batch, groupUID, typeUID, searchString);
    const std::vector<char>& found = *selection.found;
    reserve(static_cast<qsizetype>(std::count(found.begin(), found.end(), char(1))));
    std::size_t position = 0;
    for (const auto& record : records) {
        if (found[position++])
            fn(record);
    }
}

// The selected records counted by what `of` names of each (its group, its
// type; none: left out), by that one's identifier; in pieces on the workers.
template <class Named, class Of, class IdOf>
QHash<QString, qsizetype> countSelected(const Selection& selection, Of of, IdOf idOf)
{
    const Walk& walk = *selection.walk;
    const std::vector<char>& selected = *selection.found;
    const std::size_t pieces = std::clamp<std::size_t>(walk.size() / 4096, 1, 8);
    std::vector<QHash<const Named*, qsizetype>> counted(pieces);
    inPieces(walk.size(), pieces, [&](std::size_t begin, std::size_t end, std::size_t piece) {
        for (std::size_t i = begin; i < end; ++i)
            if (const Named* named = selected[i] ? of(*walk[i]) : nullptr)
                ++counted[piece][named];
    });
    QHash<QString, qsizetype> byID;
    for (const auto& piece : counted)
        for (auto it = piece.cbegin(); it != piece.cend(); ++it)
            byID[idOf(*it.key())] += it.value();
    return byID;
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

// --- the entries' preparation on threads of its own ----------------------------------

// Makes the entries of a copy of the record list into an index of its own.
// It reads the records only (a change to one of them stops it first, through
// the records' text-change hook) and writes only its own index.
class SearchEntryPreparation {
public:
    // Records' serials in buckets of this many: the hook's quick test.
    static constexpr int kBucketShift = 12;

    std::vector<std::shared_ptr<TVXRecord>> records;
    std::vector<char> buckets; // a listed record's serial falls in each marked bucket
    uint64_t epoch = 0;
    std::shared_ptr<RecordSearchIndex> index = std::make_shared<RecordSearchIndex>();
    std::atomic<bool> stopAsked{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> complete{false};

    bool lists(uint64_t serial) const
    {
        const uint64_t bucket = serial >> kBucketShift;
        return bucket < buckets.size() && buckets[bucket];
    }
    void start(TVXStoreCaches::PreparationHold hold)
    {
        m_thread = std::thread([this, hold = std::move(hold)] { run(hold); });
    }
    // Asks it to end and waits for it (a slice of records at most).
    void stop()
    {
        stopAsked = true;
        join();
    }
    void join()
    {
        std::lock_guard lock(m_joinMutex);
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    static void yieldToTheWindow()
    {
        // Below the window's own threads, which share the machine meanwhile.
        const auto thread = static_cast<id_t>(syscall(SYS_gettid));
        setpriority(PRIO_PROCESS, thread, std::min(19, getpriority(PRIO_PROCESS, thread) + 5));
    }
    void run(const TVXStoreCaches::PreparationHold& hold)
    {
        if (hold)
            hold(stopAsked);
        yieldToTheWindow();
        {
            std::vector<const TVXRecord*> walk(records.size());
            for (size_t i = 0; i < records.size(); ++i)
                walk[i] = records[i].get();
            index->placeWalk(walk);
        }
        constexpr size_t kSlice = 1024;
        const size_t count = records.size();
        std::atomic<size_t> next{0};
        const auto work = [&] {
            for (size_t begin = next.fetch_add(kSlice); begin < count && !stopAsked; begin = next.fetch_add(kSlice))
                for (size_t i = begin; i < std::min(count, begin + kSlice); ++i)
                    index->makeEntryAt(i, epoch);
        };
        const size_t threads = std::min<size_t>(8, size_t(std::max(1, QThread::idealThreadCount())));
        std::vector<std::thread> helpers;
        for (size_t t = 1; t < threads; ++t)
            helpers.emplace_back([&] {
                yieldToTheWindow();
                work();
            });
        // The lookup by record beside them: it reads no entry.
        index->indexWalk([this] { return stopAsked.load(); });
        work();
        for (std::thread& helper : helpers)
            helper.join();
        complete = !stopAsked;
        ended = true;
    }

    std::thread m_thread;
    std::mutex m_joinMutex;
};

namespace {

// Records read on a preparation's threads below this many are prepared at once.
std::atomic<qsizetype> gBackgroundPreparationFrom{kParallelWalkFrom};
std::mutex gHoldMutex;
TVXStoreCaches::PreparationHold gPreparationHold;

// The preparations running, for the records' text-change hook.
std::mutex gRunningMutex;
std::vector<std::shared_ptr<SearchEntryPreparation>> gRunning;
std::atomic<int> gRunningCount{0};

void stopPreparationsReading(uint64_t serial)
{
    if (gRunningCount.load(std::memory_order_acquire) == 0)
        return;
    std::vector<std::shared_ptr<SearchEntryPreparation>> reading;
    {
        std::lock_guard lock(gRunningMutex);
        for (const auto& preparation : gRunning)
            if (!preparation->ended && preparation->lists(serial))
                reading.push_back(preparation);
    }
    for (const auto& preparation : reading)
        preparation->stop();
}

void listRunning(const std::shared_ptr<SearchEntryPreparation>& preparation)
{
    static std::once_flag hooked;
    std::call_once(hooked, [] { setRecordTextChangeHook(&stopPreparationsReading); });
    std::lock_guard lock(gRunningMutex);
    gRunning.push_back(preparation);
    gRunningCount.store(int(gRunning.size()), std::memory_order_release);
}

void unlistRunning(const std::shared_ptr<SearchEntryPreparation>& preparation)
{
    std::lock_guard lock(gRunningMutex);
    gRunning.erase(std::remove(gRunning.begin(), gRunning.end(), preparation), gRunning.end());
    gRunningCount.store(int(gRunning.size()), std::memory_order_release);
}

} // namespace


TVXStoreCaches::TVXStoreCaches()
    : m_currentUser(TVXUser::createUser())
{
    m_searchMemo = std::make_unique<SearchMemo>();
}

TVXStoreCaches::~TVXStoreCaches()
{
    stopPreparingSearchEntries();
}

TVXStoreCaches::QueryBatch::QueryBatch(const TVXStoreCaches& caches)
    : m_caches(caches)
{
    if (!m_caches.m_batchMemo)
        m_caches.m_batchMemo = std::make_unique<BatchMemo>();
    BatchMemo& memo = *m_caches.m_batchMemo;
    m_outermost = memo.depth++ == 0;
    if (m_outermost) {
        memo.clear();
        memo.epoch = TVXRecord::changeEpoch();
        memo.recordCount = m_caches.m_records.size();
    }
}

TVXStoreCaches::QueryBatch::~QueryBatch()
{
    BatchMemo& memo = *m_caches.m_batchMemo;
    --memo.depth;
    if (m_outermost)
        memo.clear();
}

TVXStoreCaches::BatchMemo* TVXStoreCaches::openBatch() const
{
    BatchMemo* memo = m_batchMemo.get();
    if (!memo || memo->depth == 0)
        return nullptr;
    // A record made, changed or dropped meanwhile: earlier answers no longer hold.
    const uint64_t epoch = TVXRecord::changeEpoch();
    if (epoch != memo->epoch || m_records.size() != memo->recordCount) {
        memo->clear();
        memo->epoch = epoch;
        memo->recordCount = m_records.size();
    }
    return memo;
}

// --- the search index ------------------------------------------------------------

RecordSearchIndex& TVXStoreCaches::recordSearchIndex() const
{
    takeOverPreparation();
    if (!mRecordSearchIndex)
        mRecordSearchIndex = std::make_shared<RecordSearchIndex>();
    return *mRecordSearchIndex;
}

void TVXStoreCaches::takeOverPreparation() const
{
    std::shared_ptr<SearchEntryPreparation> ended;
    {
        std::lock_guard lock(m_preparationMutex);
        if (!m_preparation || !m_preparation->ended)
            return;
        ended = std::move(m_preparation);
    }
    unlistRunning(ended);
    ended->join();
    if (!ended->complete)
        return; // stopped by a change: a later search prepares what it needs
    mRecordSearchIndex = ended->index;
    m_searchEntriesPrepared = true;
    pruneRecordSearchIndex();
}

void TVXStoreCaches::prepareSearchEntries()
{
    takeOverPreparation();
    if (m_searchEntriesPrepared)
        return;
    if (m_records.size() < gBackgroundPreparationFrom.load()) {
        prepareRecordSearchIndex();
        m_searchEntriesPrepared = true;
        return;
    }
    {
        std::lock_guard lock(m_preparationMutex);
        if (m_preparation)
            return; // running
    }
    auto preparation = std::make_shared<SearchEntryPreparation>();
    preparation->records.reserve(static_cast<size_t>(m_records.size()));
    uint64_t lastBucket = 0;
    for (const auto& record : m_records) {
        preparation->records.push_back(record);
        if (record)
            lastBucket = std::max(lastBucket, (record->changeStamp() >> 32) >> SearchEntryPreparation::kBucketShift);
    }
    preparation->buckets.assign(static_cast<size_t>(lastBucket) + 1, 0);
    for (const auto& record : preparation->records)
        if (record)
            preparation->buckets[(record->changeStamp() >> 32) >> SearchEntryPreparation::kBucketShift] = 1;
    preparation->epoch = TVXRecord::changeEpoch();
    listRunning(preparation); // before it starts: any change from now on stops it first
    PreparationHold hold;
    {
        std::lock_guard lock(gHoldMutex);
        hold = gPreparationHold;
    }
    preparation->start(std::move(hold));
    std::lock_guard lock(m_preparationMutex);
    m_preparation = std::move(preparation);
}

bool TVXStoreCaches::searchEntriesReady() const
{
    takeOverPreparation();
    return m_searchEntriesPrepared || m_records.size() < gBackgroundPreparationFrom.load();
}

bool TVXStoreCaches::isPreparingSearchEntries() const
{
    std::lock_guard lock(m_preparationMutex);
    return m_preparation && !m_preparation->ended;
}

void TVXStoreCaches::stopPreparingSearchEntries()
{
    std::shared_ptr<SearchEntryPreparation> running;
    {
        std::lock_guard lock(m_preparationMutex);
        running = std::move(m_preparation);
    }
    if (running) {
        unlistRunning(running);
        running->stop();
    }
    m_searchEntriesPrepared = false;
    *m_searchMemo = SearchMemo{};
}

void TVXStoreCaches::setBackgroundPreparationFrom(qsizetype records)
{
    gBackgroundPreparationFrom = records;
}

void TVXStoreCaches::setPreparationHold(PreparationHold hold)
{
    std::lock_guard lock(gHoldMutex);
    gPreparationHold = std::move(hold);
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

TVXStoreCaches::RecordList TVXStoreCaches::selectedRecords(const BMGroup* group, const TVXType* type,
                                                     const QString& searchString,
                                                     std::optional<std::pair<int, bool>> order) const
{
    BatchMemo* batch = openBatch();
    const auto key = std::make_tuple(static_cast<const void*>(group), static_cast<const void*>(type), searchString,
                                     order.has_value(), order ? order->first : 0, order && order->second);
    if (batch && batch->lists.count(key))
        return batch->lists.at(key);
    RecordList items;
    forEachSelected(m_records, recordSearchIndex(), *m_searchMemo, batch, uidOf(group), uidOf(type), searchString,
                    [&items](const std::shared_ptr<TVXRecord>& record) { items.append(record); },
                    [&items](qsizetype count) { items.reserve(count); });
    pruneRecordSearchIndex();
    if (order)
        sortRecordList(items, order->first, order->second, recordSearchIndex(), QDateTime::currentDateTime());
    if (batch)
        batch->lists[key] = items;
    return items;
}

TVXStoreCaches::RecordList TVXStoreCaches::itemsOfGroup(const BMGroup* group, const TVXType* type,
                                                  const QString& searchString) const
{
    return selectedRecords(group, type, searchString, std::nullopt);
}

qsizetype TVXStoreCaches::itemsCountOfGroup(const BMGroup* group, const TVXType* type,
                                         const QString& searchString) const
{
    qsizetype count = 0;
    forEachSelected(m_records, recordSearchIndex(), *m_searchMemo, openBatch(), uidOf(group), uidOf(type), searchString,
                    [&count](const std::shared_ptr<TVXRecord>&) { ++count; }, [](qsizetype) {});
    pruneRecordSearchIndex();
    return count;
}

TVXStoreCaches::RecordList TVXStoreCaches::itemsOfGroup(const BMGroup* group, const TVXType* type,
                                                  const QString& searchString, int columnID,
                                                  bool ascending) const
{
    return selectedRecords(group, type, searchString, std::make_pair(columnID, ascending));
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
    BatchMemo* batch = openBatch();
    const auto key = std::make_pair(groupUID.isNull() ? QString() : groupUID + QLatin1Char('.'), searchString);
    if (batch && batch->types.count(key))
        return batch->types.at(key);
    const Selection selection = select(m_records, recordSearchIndex(), *m_searchMemo, batch,
                                       groupUID.isNull() ? nullptr : &groupUID, nullptr, searchString);
    const Walk& walk = *selection.walk;
    const std::vector<char>& selected = *selection.found;
    const std::size_t pieces = std::clamp<std::size_t>(walk.size() / 4096, 1, 8);
    std::vector<QHash<const TVXType*, std::shared_ptr<TVXType>>> found(pieces);
    inPieces(walk.size(), pieces, [&](std::size_t begin, std::size_t end, std::size_t piece) {
        for (std::size_t i = begin; i < end; ++i) {
            if (!selected[i])
                continue;
            const auto& type = walk[i]->mType();
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
    if (batch)
        batch->types[key] = types;
    return types;
}

QHash<QString, qsizetype> TVXStoreCaches::recordCountsByGroup(const QString& searchString) const
{
    BatchMemo* batch = openBatch();
    if (batch && batch->counts.contains(searchString))
        return batch->counts.value(searchString);
    const Selection selection = select(m_records, recordSearchIndex(), *m_searchMemo, batch, nullptr, nullptr, searchString);
    const auto byUID = countSelected<BMGroup>(
        selection, [](const TVXRecord& record) { return record.mGroup().get(); },
        [](const BMGroup& group) { return group.mGroupUID(); });
    pruneRecordSearchIndex();
    if (batch)
        batch->counts.insert(searchString, byUID);
    return byUID;
}

QHash<QString, qsizetype> TVXStoreCaches::recordCountsByType(const BMGroup* group, const QString& searchString) const
{
    BatchMemo* batch = openBatch();
    const auto key = std::make_pair(keyOf(uidOf(group)), searchString);
    if (batch && batch->typeCounts.count(key))
        return batch->typeCounts.at(key);
    const Selection selection = select(m_records, recordSearchIndex(), *m_searchMemo, batch, uidOf(group), nullptr,
                                       searchString);
    const auto byUID = countSelected<TVXType>(
        selection, [](const TVXRecord& record) { return record.mType().get(); },
        [](const TVXType& type) { return type.mTypeUID(); });
    pruneRecordSearchIndex();
    if (batch)
        batch->typeCounts[key] = byUID;
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

TVXStoreCaches::GroupList TVXStoreCaches::groupsForAccounts() const
{
    GroupList list = groups(false);
    for (auto it = m_storeGroups.cbegin(); it != m_storeGroups.cend(); ++it)
        if (*it && !m_groups.contains(it.key()))
            list.append(*it);
    sortGroups(list);
    return list;
}

std::shared_ptr<BMGroup> TVXStoreCaches::accountGroupWithUID(const QString& uid) const
{
    if (auto group = groupWithUID(uid))
        return group;
    return m_storeGroups.value(uid);
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
