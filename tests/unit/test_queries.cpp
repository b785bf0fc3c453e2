// The database manager's in-memory queries on hand-made caches: search, the
// sort columns and their tie-breaks, lists by group and type, smart lists,
// lookups, users and the record permission rule. No server is involved.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/loading/RecordSearch.h"
#include "store/loading/SmartLists.h"
#include "store/loading/StoreCaches.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <chrono>
#include <random>
#include <thread>

namespace {

class QueryTest : public ::testing::Test {
protected:
    std::shared_ptr<BMGroup> addGroup(const QString& uid, const QString& name, uint16_t recordBits = 7,
                                      bool prevails = false)
    {
        auto group = std::make_shared<BMGroup>();
        group->setMGroupUID(uid);
        group->setMGroupName(name);
        group->setMRecordLevelPermissions(recordBits);
        group->setMPreferencePermissions(prevails);
        db.mGroups().insert(uid, group);
        return group;
    }

    std::shared_ptr<TVXType> addType(const QString& uid, const QString& name, int32_t icon = kDefaultIconID)
    {
        auto type = std::make_shared<TVXType>();
        type->setMTypeUID(uid);
        type->setMTypeName(name);
        type->setMTypeIconID(icon);
        db.mTypes().insert(uid, type);
        return type;
    }

    // Values given are values 1, 2, ... in order.
    std::shared_ptr<TVXRecord> addRecord(const QString& uid, const std::shared_ptr<BMGroup>& group,
                                         const std::shared_ptr<TVXType>& type, const QStringList& values = {})
    {
        auto record = std::make_shared<TVXRecord>();
        record->setMRecordUID(uid);
        record->setMGroup(group);
        record->setMType(type);
        for (int i = 0; i < values.size(); ++i)
            record->setValueAtIndex(i, values[i]);
        db.mRecords().insert(uid, record);
        return record;
    }

    template <class List> static QStringList uids(const List& records)
    {
        QStringList out;
        for (const auto& record : records)
            out << record->mRecordUID();
        return out;
    }

    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    QStringList search(const QString& text) { return sorted(uids(db.itemsOfGroup(nullptr, text))); }

    QStringList sortedBy(int column, bool ascending = true)
    {
        return uids(db.itemsOfGroup(nullptr, nullptr, QString(), column, ascending));
    }

    // The caches alone: the queries need no server.
    struct Caches : TVXStoreCaches {};
    Caches db;
};

// Search entries prepared on threads of their own from `from` records on,
// the preparation held at its start until released (or asked to stop).
class BackgroundPreparation {
public:
    explicit BackgroundPreparation(qsizetype from = 0)
    {
        TVXStoreCaches::setBackgroundPreparationFrom(from);
        TVXStoreCaches::setPreparationHold([this](const std::atomic<bool>& stopAsked) {
            while (m_holding && !stopAsked)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    ~BackgroundPreparation()
    {
        TVXStoreCaches::setPreparationHold({});
        TVXStoreCaches::setBackgroundPreparationFrom(32768);
    }
    void hold() { m_holding = true; }
    void release() { m_holding = false; }
    static bool endsWithin(const TVXStoreCaches& caches, int seconds = 30)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (caches.isPreparingSearchEntries()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    std::atomic<bool> m_holding{false};
};

// --- search ------------------------------------------------------------------------

TEST_F(QueryTest, SearchIgnoresCaseAndFindsTextInsideValuesDisplayDateAndNotes)
{
    auto finance = addGroup("G1", "Finance");
    auto banking = addType("T1", "Banking");
    addRecord("R1", finance, banking, {"", "", "my tokenvalue here"});
    addRecord("R2", finance, banking, {"", "", "", "", "", "", "", "", "Zeta"});
    addRecord("R3", finance, banking, {QStringLiteral("Ärger")})->setMNotes("Remember the MILK");
    addRecord("R4", finance, banking)->setMValue10ForDisaply("May 12,2009");
    auto attached = addRecord("R5", finance, banking, {"plain"});
    attached->setMHasAttachment(true);
    attached->setMAttachmentName("bank statement.pdf");

    EXPECT_EQ(search("TOKEN"), QStringList({"R1"}));     // upper case, middle of value 3
    EXPECT_EQ(search("zet"), QStringList({"R2"}));       // value 9
    EXPECT_EQ(search("milk"), QStringList({"R3"}));      // notes
    EXPECT_EQ(search(QStringLiteral("äRGER")), QStringList({"R3"}));
    EXPECT_EQ(search("MAY 12"), QStringList({"R4"}));    // display form of value 10
    // Not searched: attachment name, type name, group name.
    EXPECT_TRUE(search("statement").isEmpty());
    EXPECT_TRUE(search("banking").isEmpty());
    EXPECT_TRUE(search("finance").isEmpty());
    // No search: every record.
    EXPECT_EQ(search(QString()).size(), 5);
    EXPECT_EQ(search("").size(), 5);

    // The test itself, also on records outside the cache.
    auto loose = std::make_shared<TVXRecord>();
    loose->setMValue2("Hidden Gem");
    EXPECT_TRUE(db.containsString("GEM", *loose));
    EXPECT_FALSE(db.containsString("ruby", *loose));
    EXPECT_TRUE(db.containsString(QString(), *loose));
}

TEST_F(QueryTest, SearchTextNeverMatchesAcrossTwoFields)
{
    addRecord("R1", nullptr, nullptr, {"ab", "cd"});
    EXPECT_TRUE(search(QString("b") + QChar(0) + QString("c")).isEmpty());
    EXPECT_TRUE(search("bc").isEmpty());
    EXPECT_EQ(search("cd"), QStringList({"R1"}));
}

TEST_F(QueryTest, ListsFollowRecordsChangedReplacedOrRemovedSinceTheLastCall)
{
    auto record = addRecord("R1", nullptr, nullptr, {"alpha"});
    addRecord("R2", nullptr, nullptr, {"other"});
    ASSERT_EQ(search("alpha"), QStringList({"R1"}));

    // Changed in place, with or without telling the index.
    record->setMValue1("beta");
    EXPECT_TRUE(search("alpha").isEmpty());
    EXPECT_EQ(search("beta"), QStringList({"R1"}));
    record->setMNotes("noted");
    db.refreshRecordSearchEntry(*record);
    EXPECT_EQ(search("noted"), QStringList({"R1"}));

    // Replaced by a new object under the same identifier (as a reload does).
    auto replacement = std::make_shared<TVXRecord>();
    replacement->setMRecordUID("R1");
    replacement->setMValue1("gamma");
    db.mRecords().insert("R1", replacement);
    EXPECT_TRUE(search("beta").isEmpty());
    EXPECT_EQ(search("gamma"), QStringList({"R1"}));

    // The sort keys follow too: a date and an attachment added later.
    replacement->setMValue10("2000-01-01 00:00:00 +0000");
    db.mRecords()["R2"]->setMValue10("2001-01-01 00:00:00 +0000");
    EXPECT_EQ(sortedBy(kRecordColumnDate), QStringList({"R1", "R2"}));
    replacement->setMValue10("2002-01-01 00:00:00 +0000");
    EXPECT_EQ(sortedBy(kRecordColumnDate), QStringList({"R2", "R1"}));
    replacement->setMAttachmentName("a.txt");
    EXPECT_EQ(sortedBy(kRecordColumnAttachment, false), QStringList({"R2", "R1"})); // no flag: ""
    replacement->setMHasAttachment(true);
    db.mRecords()["R2"]->setMHasAttachment(true);
    db.mRecords()["R2"]->setMAttachmentName("0.txt");
    EXPECT_EQ(sortedBy(kRecordColumnAttachment), QStringList({"R2", "R1"}));

    db.mRecords().remove("R1");
    db.refreshRecordSearchEntry(*replacement);
    EXPECT_TRUE(search("gamma").isEmpty());
}

TEST(SearchNeedle, FindsExactlyWhatAPlainSubstringSearchFinds)
{
    // Few letters, so that partial matches abound; some share a low byte (a and U+0161).
    const std::array<QChar, 6> alphabet = {QChar(u'a'), QChar(u'b'), QChar(0x0161), QChar(u'c'),
                                           QChar(0x0163), QChar(u' ')};
    std::mt19937 rng(7);
    const auto text = [&](int length) {
        QString out;
        for (int i = 0; i < length; ++i)
            out += alphabet[rng() % alphabet.size()];
        return out;
    };
    for (int round = 0; round < 20000; ++round) {
        const QString haystack = text(static_cast<int>(rng() % 70));
        const QString needle = text(1 + static_cast<int>(rng() % (round % 2 ? 3 : 10)));
        ASSERT_EQ(SearchNeedle(needle).occursIn(haystack), haystack.contains(needle))
            << qPrintable(haystack) << " / " << qPrintable(needle);
        // The UTF-8 form answers the same, at the same place.
        const QByteArray utf8 = haystack.toUtf8();
        const qsizetype at = haystack.indexOf(needle);
        ASSERT_EQ(SearchNeedle(needle).indexInUtf8(utf8, 0), at < 0 ? -1 : haystack.left(at).toUtf8().size())
            << qPrintable(haystack) << " / " << qPrintable(needle);
    }
    EXPECT_TRUE(SearchNeedle(QString()).occursIn(u"x"));
    EXPECT_TRUE(SearchNeedle("ABC").occursIn(u"xxabc"));
}

TEST(RecordSearch, TextsBelowU0100FoldAsTheFullFoldingDoes)
{
    // One-byte entries fold these without tables; a text with a wider
    // character takes the full folding. Either way as QString::toLower.
    for (char16_t c = 1; c < 0x100; ++c) {
        for (const QString& wide : {QString(), QStringLiteral("\u0130")}) {
            TVXRecord record;
            record.setMValue4(QStringLiteral("x") + QChar(c) + QStringLiteral("y") + wide);
            const RecordSearchEntry entry(record);
            EXPECT_TRUE(entry.contains(SearchNeedle(QStringLiteral("X") + QChar(c) + QStringLiteral("Y")))) << int(c);
            EXPECT_TRUE(entry.contains(SearchNeedle(QStringLiteral("x") + QString(QChar(c)).toLower())))
                << int(c);
        }
    }
}

TEST(RecordSearch, TiesSortByValueOneAsQStringComparesItIgnoringCase)
{
    // Value 1 breaks ties of the column; the micro sign and long s fold to
    // other letters, wide and one-byte texts meet.
    const QStringList firsts = {QStringLiteral("\u00b5a"), QStringLiteral("\u03bcb"), QStringLiteral("\u00c4c"),
                                QStringLiteral("\u00e4d"), QStringLiteral("\u017fe"), QStringLiteral("sf"),
                                QStringLiteral("Zg"),       QStringLiteral("z"),        QStringLiteral("\u00ff")};
    QList<std::shared_ptr<TVXRecord>> records;
    for (const QString& first : firsts) {
        auto record = std::make_shared<TVXRecord>();
        record->setMRecordUID(first);
        record->setMValue1(first);
        records.append(record);
    }
    QStringList expected = firsts;
    std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
        const int order = a.toLower().compare(b.toLower(), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    RecordSearchIndex index;
    sortRecordList(records, kRecordColumnIcon, true, index, QDateTime::currentDateTime());
    QStringList sorted;
    for (const auto& record : records)
        sorted << record->mValue1();
    EXPECT_EQ(sorted, expected);
}

TEST(RecordSearch, TextColumnsSortAsTheirFoldedUtf16TextsCompare)
{
    // Long shared beginnings, capitals, characters from U+0100, from U+E000
    // and beyond U+FFFF (whose UTF-8 and UTF-16 orders differ), U+0000, a display date.
    const std::array<QString, 9> pieces = {QStringLiteral("a"), QStringLiteral("B"), QStringLiteral("\u00e9"),
                                           QStringLiteral("\u00c9"), QStringLiteral("\u0161"),
                                           QStringLiteral("\uff21"), QStringLiteral("\U0001F600"),
                                           QStringLiteral("aaaaaaaa"), QString(QChar(0))};
    std::mt19937 rng(5);
    const auto text = [&] {
        QString out;
        for (int i = static_cast<int>(rng() % 5); i > 0; --i)
            out += pieces[rng() % pieces.size()];
        return out;
    };
    QList<std::shared_ptr<TVXRecord>> records;
    for (int i = 0; i < 400; ++i) {
        auto record = std::make_shared<TVXRecord>();
        record->setMRecordUID(QString::number(i));
        record->setMValue1(text());
        record->setMValue3(text());
        record->setMNotes(text());
        if (i % 7 == 0)
            record->setMValue10ForDisaply(QStringLiteral("Mai"));
        records.append(record);
    }
    RecordSearchIndex index;
    for (const int column : {kRecordColumnValue1 + 2, kRecordColumnNotes}) {
        QList<std::shared_ptr<TVXRecord>> expected = records;
        const auto key = [column](const TVXRecord& r) {
            return (column == kRecordColumnNotes ? r.mNotes() : r.mValue3()).toLower();
        };
        std::sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
            int order = key(*a).compare(key(*b));
            if (order == 0)
                order = a->mValue1().toLower().compare(b->mValue1().toLower(), Qt::CaseInsensitive);
            return order != 0 ? order < 0 : a->mRecordUID() < b->mRecordUID();
        });
        QList<std::shared_ptr<TVXRecord>> sorted = records;
        sortRecordList(sorted, column, true, index, QDateTime::currentDateTime());
        EXPECT_EQ(sorted, expected) << column;
    }
}

TEST(RecordSearch, ModificationTimesAgreeWithTheRecordsOwnDateReading)
{
    for (const char* text : {"2009-05-12 10:31:02 +0530", "2009-05-12 10:31:02 -0800", "1970-01-01 00:00:00 +0000",
                             "2024-02-29 23:59:59 +0100", "2023-02-29 12:00:00 +0000", "2009-13-01 00:00:00 +0000",
                             "2009-05-12 24:00:00 +0000", "2009-05-12 10:31:02", "2009-05-12 10:31:02 +053",
                             "2009-05-12T10:31:02 +0530", " 2009-05-12 10:31:02 +0530", "May 12,2009", ""}) {
        const QDateTime expected = TVXRecord::dateFromModificationText(text);
        const auto time = modificationTimeFromText(QString(text));
        ASSERT_EQ(time.has_value(), expected.isValid()) << text;
        if (time) {
            EXPECT_EQ(*time, expected.toMSecsSinceEpoch()) << text;
        }
        // The search entry reads the record's bytes of value 10.
        TVXRecord record;
        record.setMValue10(QString::fromLatin1(text));
        if (*text) {
            EXPECT_EQ(RecordSearchEntry(record).modificationTime(), time) << text;
        }
    }
}

TEST(RecordSearch, EveryRecordAndEveryChangeOfASearchedTextGetsItsOwnStamp)
{
    TVXRecord a, b;
    EXPECT_NE(a.changeStamp(), b.changeStamp());
    const uint64_t before = a.changeStamp();
    a.setMViewCounter(3); // not searched
    EXPECT_EQ(a.changeStamp(), before);
    a.setMValue10(""); // ignored, so no change
    EXPECT_EQ(a.changeStamp(), before);
    a.setMValue7("x");
    EXPECT_GT(a.changeStamp(), before);
    const uint64_t afterValue = a.changeStamp();
    a.setMHasAttachment(true);
    EXPECT_NE(a.changeStamp(), afterValue);
    EXPECT_NE(TVXRecord::copyRecord(a)->changeStamp(), a.changeStamp());
}

TEST_F(QueryTest, SearchesAgreeWithAPlainScanThroughRandomChangesOfTheCache)
{
    const QStringList words = {"alpha", "Beta", "gamma", "DELTA", QStringLiteral("épée"), QStringLiteral("STRASSE")};
    auto g1 = addGroup("G1", "One");
    std::mt19937 rng(11);
    const auto word = [&] { return words[static_cast<int>(rng() % words.size())]; };
    const auto randomRecord = [&]() -> std::shared_ptr<TVXRecord> {
        if (db.mRecords().isEmpty())
            return nullptr;
        auto it = db.mRecords().begin();
        std::advance(it, rng() % db.mRecords().size());
        return *it;
    };
    const auto expected = [&](const QString& text, const BMGroup* group) {
        QStringList out;
        for (const auto& record : std::as_const(db.mRecords())) {
            if (group && record->mGroup() != g1)
                continue;
            QStringList fields = {record->mValue10ForDisaply(), record->mNotes()};
            for (int i = 0; i < 9; ++i)
                fields << record->valueAtIndex(i);
            if (std::any_of(fields.begin(), fields.end(),
                            [&](const QString& f) { return f.toLower().contains(text.toLower()); }))
                out << record->mRecordUID();
        }
        return sorted(out);
    };

    // Entries also prepared on threads of their own, while the cache changes.
    const BackgroundPreparation background;
    int next = 0;
    for (int step = 0; step < 1500; ++step) {
        switch (rng() % 9) {
        case 0:
        case 1: {
            auto record = addRecord(QString("R%1").arg(next++), rng() % 2 ? g1 : nullptr, nullptr);
            record->setValueAtIndex(static_cast<int>(rng() % 9), word() + " " + word());
            break;
        }
        case 2:
            if (auto record = randomRecord()) {
                db.mRecords().remove(record->mRecordUID());
                if (rng() % 2)
                    db.refreshRecordSearchEntry(*record);
            }
            break;
        case 3:
            if (auto record = randomRecord()) {
                if (rng() % 2)
                    record->setValueAtIndex(static_cast<int>(rng() % 9), word());
                else
                    record->setMNotes(word());
            }
            break;
        case 4:
            if (auto record = randomRecord()) {
                auto replacement = std::make_shared<TVXRecord>();
                replacement->setMRecordUID(record->mRecordUID());
                replacement->setMValue10ForDisaply(word());
                db.mRecords().insert(record->mRecordUID(), replacement);
            }
            break;
        case 5:
            if (rng() % 2)
                db.prepareRecordSearchIndex();
            else
                db.itemsOfGroup(nullptr, nullptr, QString(), static_cast<int>(rng() % 15), true);
            break;
        case 6:
            if (rng() % 3 == 0)
                db.stopPreparingSearchEntries(); // as a reload does
            db.prepareSearchEntries();
            if (rng() % 2)
                ASSERT_TRUE(BackgroundPreparation::endsWithin(db));
            break;
        case 7:
            // Moved between groups: no text changes, so only the group filter tells.
            if (auto record = randomRecord())
                record->setMGroup(record->mGroup() ? nullptr : g1);
            break;
        default: {
            const QString text = word().mid(static_cast<int>(rng() % 3), 1 + static_cast<int>(rng() % 3));
            const BMGroup* group = rng() % 3 ? nullptr : g1.get();
            // One refresh asks the list, the group counts and the list of the other group.
            ASSERT_EQ(sorted(uids(db.itemsOfGroup(group, text))), expected(text, group)) << step;
            ASSERT_EQ(db.recordCountsByGroup(text).value("G1"), expected(text, g1.get()).size()) << step;
            ASSERT_EQ(sorted(uids(db.itemsOfGroup(group ? nullptr : g1.get(), text))),
                      expected(text, group ? nullptr : g1.get()))
                << step;
        }
        }
    }
    db.stopPreparingSearchEntries();
}

TEST_F(QueryTest, EntriesPreparedOnThreadsOfTheirOwnAreTakenOverUnlessAChangeStopsThem)
{
    BackgroundPreparation background;
    auto group = addGroup("G1", "One");
    for (int i = 0; i < 3000; ++i)
        addRecord(QStringLiteral("R%1").arg(i), group, nullptr,
                  {i % 100 == 0 ? QStringLiteral("Needle %1").arg(i) : QStringLiteral("hay %1").arg(i)});
    const auto needles = [&] { return search("needle").size(); };

    // Held: it runs while this thread goes on, and nothing is taken over yet.
    background.hold();
    db.prepareSearchEntries();
    EXPECT_TRUE(db.isPreparingSearchEntries());
    EXPECT_FALSE(db.searchEntriesReady());
    // A listed record's texts change: the preparation stops before the change.
    db.mRecords().value("R7")->setMValue1("needle too");
    EXPECT_FALSE(db.isPreparingSearchEntries());
    EXPECT_FALSE(db.searchEntriesReady()); // an unfinished one is not taken over

    db.prepareSearchEntries();
    background.release();
    ASSERT_TRUE(BackgroundPreparation::endsWithin(db));
    EXPECT_TRUE(db.searchEntriesReady());
    EXPECT_EQ(needles(), 31);

    // Taken over, the entries follow later changes as ever.
    db.mRecords().value("R100")->setMValue1("hay");
    db.mRecords().remove("R200");
    EXPECT_EQ(needles(), 29);
    EXPECT_EQ(db.recordCountsByGroup("needle").value("G1"), 29);

    // A reload's records replace these: the preparation running over them stops and nothing is taken over.
    background.hold();
    db.stopPreparingSearchEntries();
    db.prepareSearchEntries();
    db.stopPreparingSearchEntries();
    EXPECT_FALSE(db.isPreparingSearchEntries());
    EXPECT_FALSE(db.searchEntriesReady());
    EXPECT_EQ(needles(), 29);
}

TEST_F(QueryTest, ABatchAnswersARepeatedQueryOnceButNotAcrossAChange)
{
    auto one = addGroup("G1", "One");
    auto two = addGroup("G2", "Two");
    auto type = addType("T1", "Login");
    addRecord("R1", one, type, {"alpha"});
    auto r2 = addRecord("R2", two, type, {"beta"});
    const TVXStoreCaches::QueryBatch batch(db);
    EXPECT_EQ(db.recordCountsByGroup(QString()).value("G1"), 1);
    EXPECT_EQ(uids(db.itemsOfGroup(one.get(), nullptr, "a", 3, true)), QStringList({"R1"}));
    EXPECT_TRUE(db.itemsOfGroup(two.get(), nullptr, "alpha", 3, true).isEmpty());
    // Changed, added or removed meanwhile: asked anew.
    r2->setMValue1("alpha two");
    EXPECT_EQ(uids(db.itemsOfGroup(two.get(), nullptr, "alpha", 3, true)), QStringList({"R2"}));
    addRecord("R3", one, type, {"gamma"});
    EXPECT_EQ(db.recordCountsByGroup(QString()).value("G1"), 2);
    EXPECT_EQ(db.allTypesForGroup("G1", "gamma").size(), 1);
    db.mRecords().remove("R3");
    EXPECT_EQ(db.recordCountsByGroup(QString()).value("G1"), 1);
    EXPECT_TRUE(db.allTypesForGroup("G1", "gamma").isEmpty());
}

TEST(RecordSearchIndex, KeepsOneEntryPerRecordAndDropsThoseOfRecordsThatAreGone)
{
    RecordSearchIndex index;
    TVXRecord a, b, c;
    a.setMValue1("A");
    index.entryFor(a);
    index.entryFor(b);
    index.entryFor(c);
    index.entryFor(a);
    EXPECT_EQ(index.size(), 3);
    index.retainOnly({&a});
    EXPECT_EQ(index.size(), 1);
    EXPECT_TRUE(index.entryFor(a).contains(SearchNeedle("A")));
    index.forget(a);
    EXPECT_EQ(index.size(), 0);
}

// --- lists by group and type -------------------------------------------------------------

TEST_F(QueryTest, GroupAndTypeSelectRecordsByIdentifier)
{
    auto g1 = addGroup("G1", "One");
    auto g2 = addGroup("G2", "Two");
    auto t1 = addType("T1", "Login");
    auto t2 = addType("T2", "Card");
    addRecord("R1", g1, t1, {"x"});
    addRecord("R2", g1, t2, {"y"});
    addRecord("R3", g2, t1, {"x"});
    addRecord("R4", g1, nullptr, {"x"}); // type gone from the cache
    addRecord("R5", nullptr, t1, {"x"}); // group not loaded

    const auto list = [this](const BMGroup* g, const TVXType* t, const QString& s = QString()) {
        return sorted(uids(db.itemsOfGroup(g, t, s)));
    };
    EXPECT_EQ(list(nullptr, nullptr), QStringList({"R1", "R2", "R3", "R4", "R5"}));
    EXPECT_EQ(list(g1.get(), nullptr), QStringList({"R1", "R2", "R4"}));
    EXPECT_EQ(list(nullptr, t1.get()), QStringList({"R1", "R3", "R5"}));
    EXPECT_EQ(list(g1.get(), t1.get()), QStringList({"R1"}));
    EXPECT_EQ(list(g1.get(), nullptr, "X"), QStringList({"R1", "R4"}));

    // Another object with the same identifier selects the same records.
    BMGroup sameAsG1;
    sameAsG1.setMGroupUID("G1");
    EXPECT_EQ(list(&sameAsG1, nullptr), QStringList({"R1", "R2", "R4"}));
    EXPECT_EQ(sorted(uids(db.itemsOfGroup(g1.get(), QString("x")))), QStringList({"R1", "R4"}));

    EXPECT_EQ(db.itemsCountOfGroup(g1.get(), nullptr, QString()), 3);
    EXPECT_EQ(db.itemsCountOfGroup(nullptr, t1.get(), "x"), 3);
    EXPECT_EQ(db.itemsCountOfGroup(g2.get(), t2.get(), QString()), 0);
}

TEST_F(QueryTest, TypesOfAGroupAreDistinctSortedAndFollowTheSearch)
{
    auto g1 = addGroup("G1", "One");
    auto g2 = addGroup("G2", "Two");
    auto web = addType("T1", "web");
    auto card = addType("T2", "Card");
    auto bank = addType("T3", "bank");
    addRecord("R1", g1, web, {"a"});
    addRecord("R2", g1, web, {"b"});
    addRecord("R3", g1, card, {"b"});
    addRecord("R4", g2, bank, {"a"});
    addRecord("R5", g1, nullptr, {"a"});

    const auto names = [](const TVXStoreCaches::TypeList& types) {
        QStringList out;
        for (const auto& type : types)
            out << type->mTypeName();
        return out;
    };
    EXPECT_EQ(names(db.allTypesForGroup("G1", QString())), QStringList({"Card", "web"}));
    EXPECT_EQ(names(db.allTypesForGroup(QString(), QString())), QStringList({"bank", "Card", "web"}));
    EXPECT_EQ(names(db.allTypesForGroup(QString(), "A")), QStringList({"bank", "web"}));
    EXPECT_EQ(names(db.allTypesForGroup("G1", "b")), QStringList({"Card", "web"}));
    EXPECT_TRUE(db.allTypesForGroup("G9", QString()).isEmpty());
}

TEST_F(QueryTest, ALargeCacheWalkedOnSeveralThreadsGivesWhatAPlainScanGives)
{
    // Enough records that the walks run in pieces on the worker threads.
    QList<std::shared_ptr<BMGroup>> groups = {nullptr};
    QList<std::shared_ptr<TVXType>> types = {nullptr};
    for (int i = 0; i < 6; ++i) {
        groups << addGroup(QStringLiteral("G%1").arg(i), QStringLiteral("Group %1").arg(i));
        types << addType(QStringLiteral("T%1").arg(i), QStringLiteral("Type %1").arg(i));
    }
    std::mt19937 rng(5);
    for (int i = 0; i < 40000; ++i)
        addRecord(QStringLiteral("R%1").arg(i), groups[int(rng() % 7)], types[int(rng() % 4)],
                  {rng() % 10 == 0 ? QStringLiteral("needle %1").arg(i) : QStringLiteral("hay")});

    const QString g3 = QStringLiteral("G3");
    for (const QString& text : {QString(), QStringLiteral("NEEDLE")}) {
        QStringList inG3;
        QHash<QString, qsizetype> counts;
        QSet<QString> typeNames;
        for (const auto& record : std::as_const(db.mRecords())) {
            if (!text.isEmpty() && !record->mValue1().contains(text, Qt::CaseInsensitive))
                continue;
            if (record->mGroup())
                ++counts[record->mGroup()->mGroupUID()];
            if (record->mType())
                typeNames.insert(record->mType()->mTypeName());
            if (record->mGroup() && record->mGroup()->mGroupUID() == g3)
                inG3 << record->mRecordUID();
        }
        EXPECT_EQ(uids(db.itemsOfGroup(groups[4].get(), text)), inG3) << qPrintable(text); // the cache's order
        EXPECT_EQ(db.recordCountsByGroup(text), counts) << qPrintable(text);
        QStringList names;
        for (const auto& type : db.allTypesForGroup(QString(), text))
            names << type->mTypeName();
        QStringList expectedNames(typeNames.cbegin(), typeNames.cend());
        expectedNames.sort(Qt::CaseInsensitive);
        EXPECT_EQ(names, expectedNames) << qPrintable(text);
    }
}

TEST_F(QueryTest, ABatchWalksALargeCacheOnceAndWalksAgainOnceItChanged)
{
    // Enough records that every query walks the cache (the walk a batch keeps).
    auto one = addGroup("G1", "One");
    auto two = addGroup("G2", "Two");
    auto web = addType("T1", "web");
    auto card = addType("T2", "Card");
    for (int i = 0; i < 40000; ++i)
        addRecord(QStringLiteral("R%1").arg(i), i % 2 ? one : two, i % 3 ? web : card,
                  {i % 10 == 0 ? QStringLiteral("needle %1").arg(i) : QStringLiteral("hay")});
    const auto plainCounts = [&](const BMGroup* group, const QString& text) {
        QHash<QString, qsizetype> byType;
        for (const auto& record : std::as_const(db.mRecords()))
            if ((!group || record->mGroup().get() == group) && record->mType()
                && record->mValue1().contains(text, Qt::CaseInsensitive))
                ++byType[record->mType()->mTypeUID()];
        return byType;
    };
    const auto check = [&](int step) {
        for (const QString& text : {QString(), QStringLiteral("NEEDLE")}) {
            const auto inOne = plainCounts(one.get(), text);
            EXPECT_EQ(db.recordCountsByType(one.get(), text), inOne) << step;
            EXPECT_EQ(db.recordCountsByType(nullptr, text), plainCounts(nullptr, text)) << step;
            EXPECT_EQ(db.itemsOfGroup(one.get(), web.get(), text).size(), inOne.value("T1")) << step;
            EXPECT_EQ(db.allTypesForGroup("G1", text).size(), inOne.size()) << step;
            EXPECT_EQ(db.recordCountsByGroup(text).value("G1"), inOne.value("T1") + inOne.value("T2")) << step;
        }
    };
    const TVXStoreCaches::QueryBatch batch(db);
    check(0);
    // Replaced by another record of the same identifier, in the other group
    // and type: as many records as before, and the old one is gone from memory.
    auto replacement = std::make_shared<TVXRecord>();
    replacement->setMRecordUID("R1");
    replacement->setMGroup(two);
    replacement->setMType(card);
    replacement->setMValue1("needle again");
    db.mRecords().insert("R1", replacement);
    check(1);
    db.mRecords().remove("R3");
    check(2);
    db.mRecords().value("R5")->setMValue1("a needle now");
    check(3);
}

// --- sorting -------------------------------------------------------------------------------

TEST_F(QueryTest, IconColumnSortsTheEffectiveTypesIconNumberAsText)
{
    auto t1000 = addType("T1", "custom", 1000);
    auto t31 = addType("T2", "default", 31);
    auto t5 = addType("T3", "five", 5);
    addRecord("R1", nullptr, t31);
    addRecord("R2", nullptr, t5);
    addRecord("R3", nullptr, t1000);
    addRecord("R4", nullptr, nullptr);
    // Its own custom type (icon 2) is the icon shown, and sorted by.
    auto own = addRecord("R5", nullptr, t5);
    own->setMRecordCustomType(TVXType::createCopyforType(*t5));
    own->mRecordCustomType()->setMTypeIconID(2);

    EXPECT_EQ(sortedBy(kRecordColumnIcon), QStringList({"R4", "R3", "R5", "R1", "R2"}));
}

TEST_F(QueryTest, TypeAndGroupColumnsSortNamesInLowerCaseAndMissingOnesFirst)
{
    auto zeta = addType("T1", "Zeta");
    auto alpha = addType("T2", "alpha");
    auto gb = addGroup("G1", "beta");
    auto ga = addGroup("G2", "Alpha");
    addRecord("R1", gb, zeta, {"1"});
    addRecord("R2", ga, alpha, {"2"});
    addRecord("R3", nullptr, nullptr, {"3"});
    // Same type: value 1 decides, ignoring case.
    addRecord("R4", gb, zeta, {"A"});

    EXPECT_EQ(sortedBy(kRecordColumnType), QStringList({"R3", "R2", "R1", "R4"}));
    EXPECT_EQ(sortedBy(kRecordColumnGroup), QStringList({"R3", "R2", "R1", "R4"}));
}

TEST_F(QueryTest, ValueColumnsSortByValueThenValue1ThenIdentifierAndDescendingIsTheExactReverse)
{
    addRecord("R1", nullptr, nullptr, {"alpha", "b"});
    addRecord("R2", nullptr, nullptr, {"Alpha", "a"});
    addRecord("R3", nullptr, nullptr, {"Beta", "B"});
    addRecord("R4", nullptr, nullptr, {"beta", "c", "", "", "", "", "", "", "Zed"});
    addRecord("R5", nullptr, nullptr, {"0", "B"});

    // "alpha" and "Alpha" are equal in both keys: the identifier orders them.
    EXPECT_EQ(sortedBy(kRecordColumnValue1), QStringList({"R5", "R1", "R2", "R3", "R4"}));
    EXPECT_EQ(sortedBy(kRecordColumnValue1, false), QStringList({"R4", "R3", "R2", "R1", "R5"}));
    // Value 2: "b", "B" and "B" tie; value 1 decides ("0" < "alpha" < "beta").
    EXPECT_EQ(sortedBy(kRecordColumnValue1 + 1), QStringList({"R2", "R5", "R1", "R3", "R4"}));
    EXPECT_EQ(sortedBy(kRecordColumnValue9), QStringList({"R5", "R1", "R2", "R3", "R4"}));
    // Columns that do not exist sort as value 1.
    EXPECT_EQ(sortedBy(kRecordColumnCount), sortedBy(kRecordColumnValue1));
    EXPECT_EQ(sortedBy(-1, false), sortedBy(kRecordColumnValue1, false));
}

TEST_F(QueryTest, DateColumnSortsByTheMomentAndUnreadableDatesAsNow)
{
    // 10:31 at +0530 is 05:01 UTC, earlier than 06:00 UTC although it reads later.
    addRecord("R1", nullptr, nullptr, {"a"})->setMValue10("2009-05-12 10:31:02 +0530");
    addRecord("R2", nullptr, nullptr, {"b"})->setMValue10("2009-05-12 06:00:00 +0000");
    addRecord("R3", nullptr, nullptr, {"c"})->setMValue10("not a date");
    addRecord("R4", nullptr, nullptr, {"d"})->setMValue10("2999-01-01 00:00:00 +0000");
    addRecord("R5", nullptr, nullptr, {"e"})->setMValue10("May 12,2009");

    EXPECT_EQ(sortedBy(kRecordColumnDate), QStringList({"R1", "R2", "R3", "R5", "R4"}));
    EXPECT_EQ(sortedBy(kRecordColumnDate, false), QStringList({"R4", "R5", "R3", "R2", "R1"}));
}

TEST_F(QueryTest, NotesAndAttachmentColumnsSortTheirTextsInLowerCase)
{
    auto r1 = addRecord("R1", nullptr, nullptr, {"1"});
    auto r2 = addRecord("R2", nullptr, nullptr, {"2"});
    auto r3 = addRecord("R3", nullptr, nullptr, {"3"});
    r1->setMNotes("b");
    r2->setMNotes("A");
    r1->setMHasAttachment(true);
    r1->setMAttachmentName("Z.pdf");
    r2->setMHasAttachment(true);
    r2->setMAttachmentName("m.pdf");
    r3->setMAttachmentName("a.pdf"); // a name left behind without an attachment

    EXPECT_EQ(sortedBy(kRecordColumnNotes), QStringList({"R3", "R2", "R1"}));
    EXPECT_EQ(sortedBy(kRecordColumnAttachment), QStringList({"R3", "R2", "R1"}));
}

TEST_F(QueryTest, SortedListKeepsTheSelection)
{
    auto g1 = addGroup("G1", "One");
    auto t1 = addType("T1", "Login");
    addRecord("R1", g1, t1, {"b key"});
    addRecord("R2", g1, t1, {"a key"});
    addRecord("R3", g1, nullptr, {"c key"});
    addRecord("R4", nullptr, t1, {"d key"});
    addRecord("R5", g1, t1, {"other"});
    EXPECT_EQ(uids(db.itemsOfGroup(g1.get(), t1.get(), "KEY", kRecordColumnValue1, true)),
              QStringList({"R2", "R1"}));
}

// --- smart lists and view counts ----------------------------------------------------------

TEST_F(QueryTest, SmartListRecordsComeInTheListsOrderOnceAndFiltered)
{
    auto g1 = addGroup("G1", "One");
    auto g2 = addGroup("G2", "Two");
    addRecord("R1", g1, nullptr, {"alpha"});
    addRecord("R2", g2, nullptr, {"beta"});
    addRecord("R3", g1, nullptr, {"gamma"});
    const QStringList list = {"R3", "GONE", "R1", "R2", "R3"};

    EXPECT_EQ(uids(db.itemsOfGroup(nullptr, QString(), list)), QStringList({"R3", "R1", "R2"}));
    EXPECT_EQ(uids(db.itemsOfGroup(g1.get(), QString(), list)), QStringList({"R3", "R1"}));
    EXPECT_EQ(uids(db.itemsOfCategory(nullptr, "A", list)), QStringList({"R3", "R1", "R2"}));
    EXPECT_EQ(uids(db.itemsOfCategory(nullptr, "ph", list)), QStringList({"R1"}));
    EXPECT_TRUE(db.itemsOfGroup(nullptr, QString(), QStringList()).isEmpty());
}

TEST_F(QueryTest, ViewCountsAreKeptPerRecordInMemory)
{
    auto record = addRecord("R1", nullptr, nullptr);
    record->setMViewCounter(4);
    db.incrementViewCountofRecord("R1");
    db.incrementViewCountofRecord("NONE");
    EXPECT_EQ(db.getViewCountofRecord("R1"), 5);
    EXPECT_EQ(db.getViewCountofRecord("NONE"), 0);
    record->setMViewCounter(std::numeric_limits<int32_t>::max());
    db.incrementViewCountofRecord("R1");
    EXPECT_EQ(db.getViewCountofRecord("R1"), std::numeric_limits<int32_t>::max());
}

// The manager's recent-list operations as the rules call them, recorded.
struct RecordedRecentLists {
    std::shared_ptr<TVXUser> user = TVXUser::createUser();
    QStringList mostViewed, viewed, modified, added;
    QHash<QString, int32_t> counts;
    QStringList calls;

    const std::shared_ptr<TVXUser>& mCurrentUser() const { return user; }
    const QStringList& mMostViewedRecords() const { return mostViewed; }
    const QStringList& mRecentlyViewedTypes() const { return viewed; }
    const QStringList& mRecentlyMofifiedTypes() const { return modified; }
    const QStringList& mRecentlyAddedRecords() const { return added; }
    void incrementViewCountofRecord(const QString& uid) { ++counts[uid]; }
    int32_t getViewCountofRecord(const QString& uid) const { return counts.value(uid); }

    int addMostViewedRecordID(const QString& uid, const QString& userID) { return add(mostViewed, "most", uid, userID); }
    int addRecentlyViewedRecordID(const QString& uid, const QString& userID) { return add(viewed, "viewed", uid, userID); }
    int addRecentlyModifiedRecordID(const TVXRecord& record, const QString& userID)
    {
        return add(modified, "modified", record.mRecordUID(), userID);
    }
    int addRecentlyAddedID(const QString& uid, const QString& userID) { return add(added, "added", uid, userID); }
    int removeMostViewedRecordID(const QString& uid) { return remove(mostViewed, "most", uid); }
    int removeMostViewedRecordIDForUser(const QString& uid, const QString& userID)
    {
        return remove(mostViewed, qPrintable(QString("most for %1").arg(userID)), uid);
    }
    int removeRecentlyViewedRecordID(const QString& uid) { return remove(viewed, "viewed", uid); }
    int removeRecentlyModifiedRecordID(const QString& uid) { return remove(modified, "modified", uid); }
    int removeRecentlyAddedRecordID(const QString& uid) { return remove(added, "added", uid); }

private:
    int add(QStringList& list, const char* name, const QString& uid, const QString& userID)
    {
        calls << QString("add %1 %2 for %3").arg(name, uid, userID);
        list << uid;
        return 0;
    }
    int remove(QStringList& list, const char* name, const QString& uid)
    {
        calls << QString("remove %1 %2").arg(name, uid);
        list.removeAll(uid);
        return 0;
    }
};

TEST(RecentListRules, AViewedRecordIsCountedAndEntersTheMostViewedListByTheRule)
{
    RecordedRecentLists lists;
    lists.user->setMUserID("U1");
    TVXRecord record;
    record.setMRecordUID("NEW");

    smartlists::addMostViewedRecord(lists, lists, nullptr, true);
    smartlists::addMostViewedRecord(lists, lists, &record, false); // never viewed: stays out
    EXPECT_TRUE(lists.calls.isEmpty());
    smartlists::addMostViewedRecord(lists, lists, &record, true);
    EXPECT_EQ(lists.counts["NEW"], 1);
    EXPECT_EQ(lists.calls, QStringList({"add most NEW for U1"}));
    smartlists::addMostViewedRecord(lists, lists, &record, true); // listed: only counted
    EXPECT_EQ(lists.counts["NEW"], 2);
    EXPECT_EQ(lists.calls.size(), 1);

    // A full list: the first entry with the lowest count gives way, removed before the add.
    lists.mostViewed.clear();
    lists.calls.clear();
    for (int i = 0; i < kMostViewedLimit; ++i) {
        lists.mostViewed << QString("R%1").arg(i);
        lists.counts[lists.mostViewed.last()] = (i == 4 || i == 7) ? 3 : 5;
    }
    record.setMRecordUID("OTHER");
    lists.counts["OTHER"] = 1;
    smartlists::addMostViewedRecord(lists, lists, &record, true); // 2 < 3
    EXPECT_TRUE(lists.calls.isEmpty());
    smartlists::addMostViewedRecord(lists, lists, &record, true); // 3
    EXPECT_EQ(lists.calls, QStringList({"remove most for U1 R4", "add most OTHER for U1"}));
    EXPECT_EQ(lists.mostViewed.size(), kMostViewedLimit);

    // An entry whose record is gone counts 0 and leaves first.
    lists.mostViewed[2] = "GONE";
    EXPECT_EQ(mostViewedChange(lists.mostViewed, "NEW", 1, [&lists](const QString& uid) {
                  return lists.counts.value(uid);
              }).evict,
              "GONE");
}

TEST(RecentListRules, OtherListsTakeARecordOnceAndADeletedRecordLeavesAllFour)
{
    RecordedRecentLists lists;
    lists.user->setMUserID("U1");
    TVXRecord record;
    record.setMRecordUID("R1");
    for (int i = 0; i < 2; ++i) {
        smartlists::addRecentlyViewedRecord(lists, lists, &record);
        smartlists::addRecentlyModifiedRecord(lists, lists, &record);
        smartlists::addRecentlyAddedRecord(lists, lists, &record);
    }
    smartlists::addRecentlyViewedRecord(lists, lists, nullptr);
    EXPECT_EQ(lists.calls, QStringList({"add viewed R1 for U1", "add modified R1 for U1", "add added R1 for U1"}));

    lists.calls.clear();
    smartlists::removeRecordFromSmartTypes(lists, &record);
    EXPECT_EQ(lists.calls,
              QStringList({"remove most R1", "remove viewed R1", "remove modified R1", "remove added R1"}));
    EXPECT_TRUE(lists.viewed.isEmpty() && lists.modified.isEmpty() && lists.added.isEmpty());
}

// --- groups, types, lookups ---------------------------------------------------------------

TEST_F(QueryTest, GroupAndTypeListsAreSortedAndLeaveOutWhatTheyShould)
{
    db.mCurrentUser()->setMUserID("U1");
    addGroup("G1", "beta");
    auto alpha = addGroup("G2", "Alpha");
    addGroup("U1", "Personal-alice");
    addGroup(kUnfiledUID, "Unfiled");
    addGroup("G3", "gamma");
    const auto names = [](const TVXStoreCaches::GroupList& groups) {
        QStringList out;
        for (const auto& group : groups)
            out << group->mGroupName();
        return out;
    };

    EXPECT_EQ(names(db.groups(false)), QStringList({"Alpha", "beta", "gamma", "Unfiled"}));
    EXPECT_EQ(names(db.groups(true)), QStringList({"Alpha", "beta", "gamma", "Personal-alice", "Unfiled"}));
    EXPECT_EQ(names(db.groupsForEditing()), names(db.groups(true)));
    EXPECT_EQ(names(db.subGroupsForGroupWithID("G1")), QStringList({"Alpha", "gamma"}));

    auto card = addType("T1", "card");
    card->setMSelectedGroupUID("G2");
    addType("T2", "Bank")->setMSelectedGroupUID("G1");
    addType("T3", "Alpha")->setMSelectedGroupUID("G2");
    const auto typeNames = [](const TVXStoreCaches::TypeList& types) {
        QStringList out;
        for (const auto& type : types)
            out << type->mTypeName();
        return out;
    };
    EXPECT_EQ(typeNames(db.typesForEditing()), QStringList({"Alpha", "Bank", "card"}));
    EXPECT_EQ(typeNames(db.types(false, alpha.get())), QStringList({"Alpha", "card"}));
    EXPECT_TRUE(db.types(false, nullptr).isEmpty());
}

TEST_F(QueryTest, LookupsByIdentifierAndByName)
{
    EXPECT_FALSE(db.isGroupExistsInDatabase());
    EXPECT_FALSE(db.isTypeExistsInDatabase());
    auto g1 = addGroup("G1", "Shared");
    auto g2 = addGroup("G2", "Shared");
    auto g3 = addGroup("G3", "shared");
    auto t1 = addType("T1", "Login");
    auto t2 = addType("T2", "Login");
    auto r1 = addRecord("R1", g1, t1);
    EXPECT_TRUE(db.isGroupExistsInDatabase());
    EXPECT_TRUE(db.isTypeExistsInDatabase());

    EXPECT_EQ(db.groupWithUID("G2"), g2);
    EXPECT_EQ(db.typeWithUID("T1"), t1);
    EXPECT_EQ(db.recordWithUID("R1"), r1);
    EXPECT_EQ(db.getRecordForUID("R1"), r1);
    EXPECT_EQ(db.giveRecordForID("R1"), r1);
    EXPECT_EQ(db.groupWithUID("NONE"), nullptr);
    EXPECT_EQ(db.getRecordForUID("NONE"), nullptr);

    // Exact names; the first in sorted order among equal ones.
    EXPECT_EQ(db.getGroupFromGroupName("Shared"), g1);
    EXPECT_EQ(db.getGroupFromGroupName("shared"), g3);
    EXPECT_EQ(db.getGroupFromGroupName("SHARED"), nullptr);

    // Another object of the same name; never the object itself.
    EXPECT_EQ(db.findSimilarType(*t1), t2);
    EXPECT_EQ(db.findSimilarType(*t2, g1.get()), t1);
    auto imported = TVXType::createType();
    imported->setMTypeName("login");
    EXPECT_EQ(db.findSimilarType(*imported), nullptr);
    EXPECT_EQ(db.findSimilarCategory(*g2), g1);
    auto lone = BMGroup::newGroup();
    lone->setMGroupName("Elsewhere");
    EXPECT_EQ(db.findSimilarCategory(*lone), nullptr);
}

// --- users ----------------------------------------------------------------------------------

TEST_F(QueryTest, UsersAreFoundByTheStartOfTheirNameInAnyCase)
{
    for (const char* name : {"sally", "ALBERT", "alice", "kal", "Bob"}) {
        auto user = TVXUser_Admin::createUser();
        user->setMUsername(name);
        db.mUsers().insert(user->mUserID(), user);
    }
    const auto names = [](const TVXStoreCaches::UserList& users) {
        QStringList out;
        for (const auto& user : users)
            out << user->mUsername();
        return out;
    };
    EXPECT_EQ(names(db.sortedUsersContainsString("aL")), QStringList({"ALBERT", "alice"}));
    EXPECT_EQ(names(db.sortedUsersContainsString(QString())),
              QStringList({"ALBERT", "alice", "Bob", "kal", "sally"}));
    EXPECT_TRUE(db.sortedUsersContainsString("zz").isEmpty());
    EXPECT_TRUE(db.userNameExistWithName("BOB"));
    EXPECT_FALSE(db.userNameExistWithName("bo"));
}

TEST_F(QueryTest, MembershipInMemoryBecomesExactlyTheChosenGroups)
{
    auto g1 = addGroup("G1", "One");
    auto g2 = addGroup("G2", "Two");
    auto g3 = addGroup("G3", "Three");
    g1->setMUserMembersArray({"U1", "U2"});
    g2->setMUserMembersArray({"U1"});
    auto user = TVXUser_Admin::createUser();
    user->setMUserID("U1");
    // The administrator's window stores the new choice before it calls.
    user->setMUsersGroupArray({"G2", "G3"});
    db.mUsers().insert("U1", user);

    db.addUserToGroupListForGroups("U1", {"G2", "G3", "G9"});
    EXPECT_EQ(g1->mUserMembersArray(), QStringList({"U2"}));
    EXPECT_EQ(g2->mUserMembersArray(), QStringList({"U1"}));
    EXPECT_EQ(g3->mUserMembersArray(), QStringList({"U1"}));
}

// --- permissions -----------------------------------------------------------------------------

TEST_F(QueryTest, RecordPermissionsComeFromTheGroupWhenItPrevailsElseFromTheUser)
{
    db.mCurrentUser()->setMRecordPermissionsBit(kPermissionAdd | kPermissionEdit | kPermissionDelete);
    auto locked = addGroup("G1", "Locked", 0, true);
    auto editOnly = addGroup("G2", "Edit only", kPermissionEdit, true);
    auto userRules = addGroup("G3", "User rules", 0, false);

    for (uint16_t bit : {kPermissionAdd, kPermissionEdit, kPermissionDelete})
        EXPECT_FALSE(db.checkRecordPermission(bit, locked.get())) << bit;
    EXPECT_TRUE(db.checkRecordPermission(kPermissionEdit, editOnly.get()));
    EXPECT_FALSE(db.checkRecordPermission(kPermissionAdd, editOnly.get()));
    EXPECT_TRUE(db.checkRecordPermission(kPermissionAdd, userRules.get()));
    EXPECT_TRUE(db.checkRecordPermission(kPermissionDelete, nullptr));
    // Any one of the asked bits suffices.
    EXPECT_TRUE(db.checkRecordPermission(kPermissionEdit | kPermissionDelete, editOnly.get()));

    db.mCurrentUser()->setMRecordPermissionsBit(kPermissionEdit | kPermissionDelete);
    EXPECT_TRUE(db.checkRecordPermission(kPermissionEdit, editOnly.get()));
    EXPECT_FALSE(db.checkRecordPermission(kPermissionAdd, userRules.get()));
    EXPECT_EQ(TVXStoreCaches::recordPermissionsInGroup(userRules.get(), 5), 5);
    EXPECT_EQ(TVXStoreCaches::recordPermissionsInGroup(editOnly.get(), 5), kPermissionEdit);

    const auto names = [](const TVXStoreCaches::GroupList& groups) {
        QStringList out;
        for (const auto& group : groups)
            out << group->mGroupUID();
        return out;
    };
    EXPECT_EQ(names(db.groupsWithPermission(kPermissionEdit)), QStringList({"G2", "G3"}));
    EXPECT_TRUE(db.groupsWithPermission(kPermissionAdd).isEmpty());
}

// --- small helpers ------------------------------------------------------------------------------

TEST_F(QueryTest, AttachmentTestCoversAllRecordsOrTheGivenOnes)
{
    EXPECT_FALSE(db.anyRecordHasAtachementinArray());
    auto plain = addRecord("R1", nullptr, nullptr);
    auto attached = addRecord("R2", nullptr, nullptr);
    attached->setMHasAttachment(true);
    EXPECT_TRUE(db.anyRecordHasAtachementinArray());
    EXPECT_FALSE(db.anyRecordHasAtachementinArray(TVXStoreCaches::RecordList{plain}));
    EXPECT_TRUE(db.anyRecordHasAtachementinArray(TVXStoreCaches::RecordList{plain, attached}));
    EXPECT_FALSE(db.anyRecordHasAtachementinArray(TVXStoreCaches::RecordList{}));
}

TEST_F(QueryTest, PassKeyAndUtf8Bytes)
{
    const QString key = db.getRandomPassKey("R1");
    EXPECT_EQ(key.size(), 16);
    for (QChar c : key)
        EXPECT_TRUE(c.unicode() > 0x20 && c.unicode() < 0x7F) << int(c.unicode());

    // Longer than any fixed buffer: every byte comes back.
    const QString text = QString(5000, QChar(0x00E9));
    const std::string bytes = TVXStoreCaches::voidConvertNSStringToChar(text);
    EXPECT_EQ(bytes.size(), 10000u);
    EXPECT_EQ(QString::fromStdString(bytes), text);
}

} // namespace
