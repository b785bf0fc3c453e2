#pragma once
// What searching and sorting the record caches need of each record, prepared
// once: its texts in lower case and its modification date as a number. A
// keystroke in the search field then costs one substring scan per record, and
// a sort compares ready keys.
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

class TVXRecord;
class TVXType;

// Columns of the record list; the number is also the column's sort key.
inline constexpr int kRecordColumnIcon = 0;       // icon number of the effective type, as text
inline constexpr int kRecordColumnType = 1;       // type name
inline constexpr int kRecordColumnGroup = 2;      // group name
inline constexpr int kRecordColumnValue1 = 3;     // values 1 to 9 are columns 3 to 11
inline constexpr int kRecordColumnValue9 = 11;
inline constexpr int kRecordColumnDate = 12;      // value 10, the modification date
inline constexpr int kRecordColumnNotes = 13;
inline constexpr int kRecordColumnAttachment = 14; // attachment name
inline constexpr int kRecordColumnCount = 15;

// The form both sides of a search are compared in: lower case.
QString foldSearchText(const QString& text);

// A folded text as the index keeps it: UTF-8 (nearly every text), or UTF-16
// for a record whose texts UTF-8 cannot hold exactly. Compares as the UTF-16
// text would.
class FoldedView {
public:
    FoldedView() = default;
    FoldedView(QByteArrayView utf8) : m_utf8(utf8) {}
    FoldedView(QStringView text) : m_wide(text), m_isWide(true) {}

    bool isWide() const { return m_isWide; }
    QByteArrayView utf8() const { return m_utf8; }
    QStringView wide() const { return m_wide; }
    bool isEmpty() const { return m_isWide ? m_wide.isEmpty() : m_utf8.isEmpty(); }
    QString toString() const { return m_isWide ? m_wide.toString() : QString::fromUtf8(m_utf8); }
    // Case-sensitive, UTF-16 code unit by code unit.
    int compare(const FoldedView& other) const;

private:
    QByteArrayView m_utf8;
    QStringView m_wide;
    bool m_isWide = false;
};

// A search text, folded once per query.
class SearchNeedle {
public:
    explicit SearchNeedle(const QString& searchText);

    const QString& folded() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }
    // Whether the folded text occurs in `haystack` (already folded).
    bool occursIn(QStringView haystack) const;
    // The folded text's first occurrence in UTF-8 `haystack` at or after
    // `from`, or -1; always -1 when the text has no exact UTF-8 form.
    qsizetype indexInUtf8(QByteArrayView haystack, qsizetype from = 0) const;
    // The length of the folded text in UTF-8; -1 when it has no exact UTF-8 form.
    qsizetype utf8Size() const { return m_utf8 ? m_utf8->size() : -1; }
    bool holds(QChar c) const { return m_text.contains(c); }

private:
    QString m_text;
    // The folded text in UTF-8; none when it holds a lone surrogate (it then
    // never occurs in a text UTF-8 holds exactly).
    std::optional<QByteArray> m_utf8;
};

// The type that gives a record its icon: its own custom type when it has one.
const TVXType* effectiveType(const TVXRecord& record);

// Value 10 ("2009-05-12 10:31:02 +0530") as milliseconds since the epoch; none
// when it is not such a text. Agrees with TVXRecord::dateFromModificationText,
// at a fraction of its cost.
std::optional<qint64> modificationTimeFromText(QStringView text);

// One record's prepared texts, as of the record's change stamp. Where folding
// leaves a record's texts as they are (most records), they are read in the
// record's own block, not copied.
class RecordSearchEntry {
public:
    RecordSearchEntry() = default;
    explicit RecordSearchEntry(const TVXRecord& record);

    bool isCurrentFor(const TVXRecord& record) const;

    // The search test: the needle occurs in a folded value 1 to 9, the
    // display date or the notes.
    bool contains(const SearchNeedle& needle) const;

    // Folded value `index` + 1, for index 0 to 8. Like every text the entry
    // shows, good while the record stays unchanged and the entry is kept.
    FoldedView foldedValue(int index) const { return slice(index); }
    FoldedView foldedNotes() const { return slice(kNotesSlice); }
    // Value 10 read as a date, in milliseconds since the epoch; none when it is not a date.
    std::optional<qint64> modificationTime() const
    {
        return m_modificationTime == kNoTime ? std::nullopt : std::optional<qint64>(m_modificationTime);
    }
    // Starts bringing the texts into the cache.
    void prefetchTexts() const
    {
        for (int line = 0; line < 4; ++line)
            __builtin_prefetch(m_texts + 64 * line);
    }
    // Folded value 1 holds only characters that case folding leaves as they
    // are, so that comparing it ignoring case is comparing it as it is.
    bool firstValueFoldsToItself() const { return m_firstValueFoldsToItself; }

private:
    static constexpr int kDateSlice = 9; // the display date (value 10 in the record's block: not searched)
    static constexpr int kNotesSlice = 10;
    static constexpr int kSliceCount = 11; // values 1 to 9, display date, notes
    static constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

    FoldedView slice(int i) const;
    uint32_t sliceEnd(int i) const;
    bool foldBytes(const TVXRecord& record);
    void foldTexts(const TVXRecord& record);

    uint64_t m_stamp = 0;
    // A table of slice ends (uint32_t each) then the texts: UTF-8 laid out as
    // the record's block (m_texts may be that block), or, when m_wide, UTF-16
    // with each text ended by U+0000 and kSliceCount + 1 starts in the table.
    const char* m_texts = nullptr;
    std::unique_ptr<char[]> m_own;
    qint64 m_modificationTime = kNoTime;
    bool m_wide = false;
    bool m_ownDate = false; // slice 9 holds the display date
    bool m_firstValueFoldsToItself = false;
};

// Entries of many records, rebuilt on use when the record's change stamp moved
// on. Stamps are unique across all records, so a new record that happens to
// reuse a gone one's address never passes for it; and while the change epoch
// (TVXRecord::changeEpoch) stays where it was when an entry was last checked,
// the record is not even read.
//
// Entries sit in a vector in the order in which the cache was last walked, so
// that a walk of an unchanged cache (one search per keystroke) reads them in
// sequence without a hash lookup per record; a record found elsewhere is moved
// to its place. Not thread-safe (the caches are not either).
class RecordSearchIndex {
public:
    // The record's entry, made or rebuilt first when needed. The reference is
    // good until the index is next used; the texts it shows stay good until
    // that record's entry is rebuilt or dropped.
    const RecordSearchEntry& entryFor(const TVXRecord& record);
    // The same, for the record at `position` of a walk over the whole cache.
    const RecordSearchEntry& entryAt(qsizetype position, const TVXRecord& record);
    // Places every record of a walk over the whole cache at its position with
    // a current entry, stale entries rebuilt on several threads; a null record
    // leaves its position alone. Then entryAt and preparedEntryAt of the same
    // walk find every entry in place.
    void prepareWalk(const std::vector<const TVXRecord*>& walk);
    // The entry at `position` of the walk last prepared.
    const RecordSearchEntry& preparedEntryAt(qsizetype position) const
    {
        // Walks read the entries in order and each one's texts elsewhere in
        // memory: the texts of an entry a little ahead are asked for now, so
        // that a walk does not wait for memory at every record.
        constexpr size_t kAhead = 6;
        if (static_cast<size_t>(position) + kAhead < m_slots.size())
            m_slots[static_cast<size_t>(position) + kAhead].entry.prefetchTexts();
        return m_slots[static_cast<size_t>(position)].entry;
    }
    // The entries of `records`, made or rebuilt first where needed (on
    // several threads); the pointers are good until the index is next used.
    std::vector<const RecordSearchEntry*> entriesFor(const QList<std::shared_ptr<TVXRecord>>& records);
    // An index made for a whole walk away from the caches' thread (the
    // entries prepared after a load): placeWalk lays the walk's records out
    // in its order, entries still to make; makeEntryAt then makes the entry
    // at a position (distinct positions on several threads at once), and
    // indexWalk, beside them, notes where each record is (it reads no entry).
    void placeWalk(const std::vector<const TVXRecord*>& walk);
    void makeEntryAt(size_t position, uint64_t epoch);
    // False, left unfinished, once `stopped` says so.
    bool indexWalk(const std::function<bool()>& stopped);
    // Rebuilds the record's entry now.
    void refresh(const TVXRecord& record);
    void forget(const TVXRecord& record);
    // Drops every entry whose record is not among `live`.
    void retainOnly(const QList<const TVXRecord*>& live);
    void clear();
    // The number of records with an entry.
    qsizetype size() const { return m_where.size(); }

private:
    struct Slot {
        const TVXRecord* record = nullptr;
        uint64_t checkedAt = 0; // the change epoch when the entry was last found current
        RecordSearchEntry entry;
    };

    qsizetype slotOf(const TVXRecord& record);
    void place(qsizetype position, const TVXRecord& record);
    const RecordSearchEntry& current(Slot& slot);
    // Marks the slot's entry current, or notes its position among the stale.
    void checkAt(size_t position, uint64_t epoch, std::vector<size_t>& stale);
    // Rebuilds the entries at `stale` on several threads.
    void rebuild(const std::vector<size_t>& stale, uint64_t epoch);

    std::vector<Slot> m_slots;
    QHash<const TVXRecord*, qsizetype> m_where;
};

// Sorts records by a record-list column: primary key (texts case-sensitively,
// dates by time), then value 1 ignoring case, then the identifier, so that the
// order is complete and descending is the exact reverse of ascending. A value
// 10 that is not a date counts as `now`; a missing type or group as the empty
// name; a column outside 0 to 14 as column 3.
void sortRecordList(QList<std::shared_ptr<TVXRecord>>& records, int column, bool ascending,
                    RecordSearchIndex& index, const QDateTime& now);
