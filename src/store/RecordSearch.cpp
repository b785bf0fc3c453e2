#include "store/RecordSearch.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "store/ParallelFor.h"

#include <QSet>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr QChar kSliceEnd = QChar(u'\0');

// The number written by `count` ASCII digits at `at`, or -1.
template <class View> int digits(View text, qsizetype at, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = QChar(text[at + i]).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

template <class View> std::optional<qint64> timeFromText(View text)
{
    // yyyy-MM-dd HH:mm:ss +hhmm
    const auto at = [&text](qsizetype i) { return QChar(text[i]).unicode(); };
    if (text.size() != 25 || at(4) != u'-' || at(7) != u'-' || at(10) != u' ' || at(13) != u':' || at(16) != u':'
        || at(19) != u' ' || (at(20) != u'+' && at(20) != u'-'))
        return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
    const int offsetHours = digits(text, 21, 2), offsetMinutes = digits(text, 23, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || offsetHours < 0
        || offsetMinutes < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid() || !QTime::isValid(hour, minute, second))
        return std::nullopt;
    qint64 offset = (offsetHours * 60 + offsetMinutes) * 60;
    if (at(20) == u'-')
        offset = -offset;
    const qint64 days = date.toJulianDay() - QDate(1970, 1, 1).toJulianDay();
    return (days * 86400 + hour * 3600 + minute * 60 + second - offset) * 1000;
}

// Below U+0100 lower case is a fixed step for the capitals (A to Z, U+00C0 to
// U+00DE but U+00D7) and nothing for the rest: what the full folding gives,
// without its tables.
char foldLatin1(char16_t u)
{
    const bool capital = (u >= u'A' && u <= u'Z') || (u >= 0xc0 && u <= 0xde && u != 0xd7);
    return static_cast<char>(capital ? u + 0x20 : u);
}

#if defined(__SSE2__)
__m128i splat(char c) { return _mm_set1_epi8(c); }
__m128i splat(char16_t c) { return _mm_set1_epi16(static_cast<short>(c)); }
// All mask bits of a lane set where a and b hold the same character.
__m128i sameLanes(__m128i a, __m128i b, char) { return _mm_cmpeq_epi8(a, b); }
__m128i sameLanes(__m128i a, __m128i b, char16_t) { return _mm_cmpeq_epi16(a, b); }
#endif

// Whether the needle occurs in the haystack, both in one or both in two bytes
// a character.
template <class Char>
bool occursInText(const Char* needle, qsizetype m, const Char* hay, qsizetype n)
{
    if (m == 0)
        return true;
    if (m > n)
        return false;
    qsizetype i = 0;
#if defined(__SSE2__)
    // Sixteen bytes of positions at a time: where both the first and the last
    // character of the needle sit at the right distance, compare the rest.
    constexpr qsizetype kLanes = 16 / sizeof(Char);
    const __m128i first = splat(needle[0]);
    const __m128i last = splat(needle[m - 1]);
    for (; i + (m - 1) + kLanes <= n; i += kLanes) {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + m - 1));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(sameLanes(head, first, Char()), sameLanes(tail, last, Char()))));
        while (mask) {
            const qsizetype at = i + __builtin_ctz(mask) / qsizetype(sizeof(Char));
            if (std::equal(needle + 1, needle + m - 1, hay + at + 1))
                return true;
            for (size_t bit = 0; bit < sizeof(Char); ++bit) // one mask bit per byte
                mask &= mask - 1;
        }
    }
#endif
    for (; i + m <= n; ++i) {
        if (hay[i] == needle[0] && std::equal(needle + 1, needle + m, hay + i + 1))
            return true;
    }
    return false;
}

} // namespace

QString foldSearchText(const QString& text)
{
    return text.toLower();
}

SearchNeedle::SearchNeedle(const QString& searchText)
    : m_text(foldSearchText(searchText))
{
    if (std::all_of(m_text.cbegin(), m_text.cend(), [](QChar c) { return c.unicode() < 0x100; }))
        m_latin1 = m_text.toLatin1();
}

bool SearchNeedle::occursIn(QLatin1StringView haystack) const
{
    if (!m_latin1)
        return m_text.isEmpty();
    const QByteArray& text = *m_latin1;
    if (text.size() == 1)
        return std::memchr(haystack.data(), text[0], static_cast<size_t>(haystack.size())) != nullptr;
    return occursInText(text.constData(), text.size(), haystack.data(), haystack.size());
}

int FoldedView::compare(const FoldedView& other) const
{
    if (m_isWide)
        return other.m_isWide ? m_wide.compare(other.m_wide) : m_wide.compare(other.m_latin1);
    return other.m_isWide ? m_latin1.compare(other.m_wide) : m_latin1.compare(other.m_latin1);
}

bool SearchNeedle::occursIn(QStringView haystack) const
{
    if (m_text.size() == 1)
        return haystack.contains(m_text.front()); // vectorised in Qt
    return occursInText(QStringView(m_text).utf16(), m_text.size(), haystack.utf16(), haystack.size());
}

const TVXType* effectiveType(const TVXRecord& record)
{
    if (record.mRecordCustomType())
        return record.mRecordCustomType().get();
    return record.mType().get();
}

std::optional<qint64> modificationTimeFromText(QStringView text)
{
    return timeFromText(text);
}

// --- entry ---------------------------------------------------------------------

RecordSearchEntry::RecordSearchEntry(const TVXRecord& record)
    : m_stamp(record.changeStamp())
{
    const bool exact = record.utf8TextsExact();
    if (!exact || !foldBytes(record))
        foldTexts(record);
    if (record.mHasAttachment())
        m_foldedAttachmentName = foldSearchText(record.mAttachmentName());
    const QByteArrayView date = record.utf8Text(9);
    m_modificationTime = exact ? timeFromText(QLatin1StringView(date)) // a date is ASCII
                               : modificationTimeFromText(record.textCopy(9));
    const FoldedView first = slice(0);
    // Below U+0100 only capitals and the micro sign fold to something else,
    // and folded texts hold no capitals.
    m_firstValueFoldsToItself = !first.isWide() && !first.latin1().contains(QLatin1Char('\xb5'));
}

bool RecordSearchEntry::foldBytes(const TVXRecord& record)
{
    if (!record.mValue10ForDisaply().isEmpty())
        return false;
    std::array<QByteArrayView, kSliceCount> searched{};
    for (int i = 0; i < 9; ++i)
        searched[i] = record.utf8Text(i);
    searched[kNotesSlice] = record.utf8Text(TVXRecord::kNotesSlot);
    // Exact bytes are valid UTF-8: a lead byte from 0xc4 up starts a
    // character from U+0100 up; 0xc2 and 0xc3 start the rest above ASCII.
    qsizetype length = 0;
    for (const QByteArrayView text : searched) {
        length += text.size() + 1;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0xc4)
                return false;
            if (byte >= 0xc2)
                --length;
        }
    }
    m_haystack = QByteArray(length, Qt::Uninitialized);
    char* out = m_haystack.data();
    qsizetype at = 0;
    for (int i = 0; i < kSliceCount; ++i) {
        m_starts[i] = static_cast<int32_t>(at);
        const QByteArrayView text = searched[i];
        for (qsizetype k = 0; k < text.size(); ++k) {
            const auto byte = static_cast<unsigned char>(text[k]);
            if (byte < 0x80) {
                out[at++] = foldLatin1(byte);
            } else {
                const auto next = static_cast<unsigned char>(text[++k]);
                out[at++] = foldLatin1(char16_t(((byte & 0x1f) << 6) | (next & 0x3f)));
            }
        }
        out[at++] = '\0';
    }
    m_starts[kSliceCount] = static_cast<int32_t>(at);
    return true;
}

void RecordSearchEntry::foldTexts(const TVXRecord& record)
{
    std::array<QString, kSliceCount> searched;
    for (int i = 0; i < 9; ++i)
        searched[i] = record.textCopy(i);
    searched[9] = record.mValue10ForDisaply();
    searched[kNotesSlice] = record.textCopy(TVXRecord::kNotesSlot);

    char16_t widest = 0;
    qsizetype length = 0;
    for (const QString& text : searched) {
        for (const QChar c : text)
            widest = std::max(widest, c.unicode());
        length += text.size() + 1;
    }
    if (widest < 0x100) {
        m_haystack = QByteArray(length, Qt::Uninitialized);
        char* out = m_haystack.data();
        qsizetype at = 0;
        for (int i = 0; i < kSliceCount; ++i) {
            m_starts[i] = static_cast<int32_t>(at);
            for (const QChar c : searched[i])
                out[at++] = foldLatin1(c.unicode());
            out[at++] = '\0';
        }
        m_starts[kSliceCount] = static_cast<int32_t>(at);
        return;
    }
    // Full folding, text by text, as it may change lengths.
    length = 0;
    for (QString& text : searched) {
        text = foldSearchText(text);
        length += text.size() + 1;
    }
    m_wide = true;
    m_haystack = QByteArray(length * qsizetype(sizeof(char16_t)), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(m_haystack.data());
    qsizetype at = 0;
    for (int i = 0; i < kSliceCount; ++i) {
        m_starts[i] = static_cast<int32_t>(at);
        std::copy(searched[i].utf16(), searched[i].utf16() + searched[i].size(), out + at);
        at += searched[i].size();
        out[at++] = u'\0';
    }
    m_starts[kSliceCount] = static_cast<int32_t>(at);
}

bool RecordSearchEntry::isCurrentFor(const TVXRecord& record) const
{
    return m_stamp == record.changeStamp();
}

FoldedView RecordSearchEntry::haystack() const
{
    if (m_wide)
        return QStringView(reinterpret_cast<const char16_t*>(m_haystack.constData()),
                           m_haystack.size() / qsizetype(sizeof(char16_t)));
    return QLatin1StringView(m_haystack.constData(), m_haystack.size());
}

FoldedView RecordSearchEntry::slice(int i) const
{
    if (i < 0 || i >= kSliceCount || m_haystack.isEmpty())
        return {};
    const qsizetype from = m_starts[i];
    const qsizetype length = m_starts[i + 1] - m_starts[i] - 1;
    const FoldedView all = haystack();
    if (all.isWide())
        return all.wide().mid(from, length);
    return all.latin1().mid(from, length);
}

bool RecordSearchEntry::contains(const SearchNeedle& needle) const
{
    if (needle.isEmpty())
        return true;
    // A needle holding the separator could match across two texts: test them one by one.
    if (needle.holds(kSliceEnd)) {
        for (int i = 0; i < kSliceCount; ++i) {
            if (needle.occursIn(slice(i)))
                return true;
        }
        return false;
    }
    return needle.occursIn(haystack());
}

// --- index -----------------------------------------------------------------------

const RecordSearchEntry& RecordSearchIndex::current(Slot& slot)
{
    // While no record anywhere has changed since this entry was last checked,
    // it is still current, and the record need not be read at all.
    const uint64_t latest = TVXRecord::changeEpoch();
    if (slot.checkedAt != latest) {
        if (!slot.entry.isCurrentFor(*slot.record))
            slot.entry = RecordSearchEntry(*slot.record);
        slot.checkedAt = latest;
    }
    return slot.entry;
}

qsizetype RecordSearchIndex::slotOf(const TVXRecord& record)
{
    const auto it = m_where.constFind(&record);
    if (it != m_where.cend())
        return *it;
    // Made on first use: an empty entry is never current.
    m_slots.push_back(Slot{&record, 0, RecordSearchEntry()});
    const qsizetype at = static_cast<qsizetype>(m_slots.size()) - 1;
    m_where.insert(&record, at);
    return at;
}

const RecordSearchEntry& RecordSearchIndex::entryFor(const TVXRecord& record)
{
    return current(m_slots[static_cast<size_t>(slotOf(record))]);
}

void RecordSearchIndex::place(qsizetype position, const TVXRecord& record)
{
    const auto at = static_cast<size_t>(position);
    if (at < m_slots.size() && m_slots[at].record == &record)
        return;
    // A record without entry whose place is free takes it at once (a first
    // walk: no second slot to make and move).
    if (at < m_slots.size() && !m_slots[at].record && !m_where.contains(&record)) {
        m_slots[at] = Slot{&record, 0, RecordSearchEntry()};
        m_where.insert(&record, position);
        return;
    }
    // Move the record's entry (made if need be) to its place in the walk.
    const auto from = static_cast<size_t>(slotOf(record));
    if (at >= m_slots.size())
        m_slots.resize(at + 1);
    if (from != at) {
        std::swap(m_slots[from], m_slots[at]);
        if (m_slots[from].record)
            m_where.insert(m_slots[from].record, static_cast<qsizetype>(from));
        m_where.insert(&record, position);
    }
}

const RecordSearchEntry& RecordSearchIndex::entryAt(qsizetype position, const TVXRecord& record)
{
    place(position, record);
    return current(m_slots[static_cast<size_t>(position)]);
}

void RecordSearchIndex::prepareWalk(const std::vector<const TVXRecord*>& walk)
{
    const uint64_t epoch = TVXRecord::changeEpoch();
    if (m_slots.size() < walk.size())
        m_slots.resize(walk.size());
    if (m_where.isEmpty())
        m_where.reserve(static_cast<qsizetype>(walk.size()));
    std::vector<size_t> stale;
    for (size_t p = 0; p < walk.size(); ++p) {
        if (!walk[p])
            continue;
        place(static_cast<qsizetype>(p), *walk[p]);
        Slot& slot = m_slots[p];
        if (slot.checkedAt == epoch)
            continue;
        if (slot.entry.isCurrentFor(*slot.record))
            slot.checkedAt = epoch;
        else
            stale.push_back(p);
    }
    // Entries are independent: each thread writes its own slots and only reads records.
    tvxsql::parallelFor(
        stale.size(),
        [&](size_t i) {
            Slot& slot = m_slots[stale[i]];
            slot.entry = RecordSearchEntry(*slot.record);
            slot.checkedAt = epoch;
        },
        256);
}

void RecordSearchIndex::refresh(const TVXRecord& record)
{
    Slot& slot = m_slots[static_cast<size_t>(slotOf(record))];
    slot.entry = RecordSearchEntry(record);
    slot.checkedAt = 0;
}

void RecordSearchIndex::forget(const TVXRecord& record)
{
    const auto it = m_where.constFind(&record);
    if (it == m_where.cend())
        return;
    m_slots[static_cast<size_t>(*it)] = Slot{};
    m_where.erase(it);
}

void RecordSearchIndex::retainOnly(const QList<const TVXRecord*>& live)
{
    const QSet<const TVXRecord*> keep(live.begin(), live.end());
    std::vector<Slot> kept;
    kept.reserve(std::min(m_slots.size(), static_cast<size_t>(keep.size())));
    m_where.clear();
    for (Slot& slot : m_slots) {
        if (slot.record && keep.contains(slot.record)) {
            m_where.insert(slot.record, static_cast<qsizetype>(kept.size()));
            kept.push_back(std::move(slot));
        }
    }
    m_slots = std::move(kept);
}

void RecordSearchIndex::clear()
{
    m_slots.clear();
    m_where.clear();
}

// --- sorting -----------------------------------------------------------------------

namespace {

// As QString's comparison ignoring case of the UTF-16 texts (its folding of
// a few characters below U+0100 differs from that of one-byte texts).
int compareIgnoringCase(const FoldedView& a, const FoldedView& b)
{
    const QString wideA = a.isWide() ? QString() : a.toString();
    const QString wideB = b.isWide() ? QString() : b.toString();
    const QStringView viewA = a.isWide() ? a.wide() : QStringView(wideA);
    const QStringView viewB = b.isWide() ? b.wide() : QStringView(wideB);
    return viewA.compare(viewB, Qt::CaseInsensitive);
}

// Sorts parts on a few threads, then merges neighbouring parts pairwise.
template <class T, class Less> void parallelSort(std::vector<T>& items, Less less)
{
    constexpr size_t kPartMinimum = 8192;
    const size_t hardware = std::max(1u, std::thread::hardware_concurrency());
    size_t parts = std::min<size_t>({hardware, 8, items.size() / kPartMinimum});
    if (parts <= 1) {
        std::sort(items.begin(), items.end(), less);
        return;
    }
    std::vector<size_t> bounds;
    for (size_t i = 0; i <= parts; ++i)
        bounds.push_back(items.size() * i / parts);
    tvxsql::parallelFor(
        parts, [&](size_t i) { std::sort(items.begin() + bounds[i], items.begin() + bounds[i + 1], less); }, 1);
    while (bounds.size() > 2) {
        std::vector<size_t> merged;
        const size_t pairs = (bounds.size() - 1) / 2;
        tvxsql::parallelFor(
            pairs,
            [&](size_t i) {
                std::inplace_merge(items.begin() + bounds[2 * i], items.begin() + bounds[2 * i + 1],
                                   items.begin() + bounds[2 * i + 2], less);
            },
            1);
        for (size_t i = 0; i < bounds.size(); i += 2)
            merged.push_back(bounds[i]);
        if (merged.back() != bounds.back())
            merged.push_back(bounds.back());
        bounds = std::move(merged);
    }
}

} // namespace

void sortRecordList(QList<std::shared_ptr<TVXRecord>>& records, int column, bool ascending,
                    RecordSearchIndex& index, const QDateTime& now)
{
    if (column < 0 || column >= kRecordColumnCount)
        column = kRecordColumnValue1;

    struct Key {
        FoldedView text;
        qint64 time = 0;
        FoldedView secondary;
        bool plainSecondary = false;
        const QString* uid = nullptr;
        qsizetype position = 0;
    };

    // Icon texts and folded names, made once per type or group object; the
    // keys below view into these strings, which do not move their buffers.
    QHash<const void*, QString> names;
    const auto nameOf = [&names](const void* object, auto make) -> QStringView {
        if (!object)
            return {};
        auto it = names.find(object);
        if (it == names.end())
            it = names.insert(object, make());
        return *it;
    };

    const qint64 nowTime = now.toMSecsSinceEpoch();
    std::vector<Key> keys;
    keys.reserve(static_cast<size_t>(records.size()));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const TVXRecord& record = *records[i];
        const RecordSearchEntry& entry = index.entryFor(record);
        Key key;
        key.secondary = entry.foldedValue(0);
        key.plainSecondary = entry.firstValueFoldsToItself();
        key.uid = &record.mRecordUID();
        key.position = i;
        switch (column) {
        case kRecordColumnIcon: {
            const TVXType* type = effectiveType(record);
            key.text = nameOf(type, [type] { return QString::number(type->mTypeIconID()); });
            break;
        }
        case kRecordColumnType: {
            const TVXType* type = record.mType().get();
            key.text = nameOf(type, [type] { return foldSearchText(type->mTypeName()); });
            break;
        }
        case kRecordColumnGroup: {
            const BMGroup* group = record.mGroup().get();
            key.text = nameOf(group, [group] { return foldSearchText(group->mGroupName()); });
            break;
        }
        case kRecordColumnDate:
            key.time = entry.modificationTime().value_or(nowTime);
            break;
        case kRecordColumnNotes:
            key.text = entry.foldedNotes();
            break;
        case kRecordColumnAttachment:
            key.text = entry.foldedAttachmentName();
            break;
        default:
            key.text = entry.foldedValue(column - kRecordColumnValue1);
            break;
        }
        keys.push_back(key);
    }

    const bool byTime = column == kRecordColumnDate;
    // The order is complete (identifiers differ), so sorting parts on their
    // own and merging them gives the one order a single sort would.
    parallelSort(keys, [byTime](const Key& a, const Key& b) {
        int order = byTime ? (a.time < b.time ? -1 : (a.time > b.time ? 1 : 0)) : a.text.compare(b.text);
        if (order == 0) {
            // Texts that folding leaves alone compare alike either way; the plain way is faster.
            order = a.plainSecondary && b.plainSecondary ? a.secondary.compare(b.secondary)
                                                         : compareIgnoringCase(a.secondary, b.secondary);
        }
        if (order == 0)
            order = a.uid->compare(*b.uid);
        return order < 0;
    });

    QList<std::shared_ptr<TVXRecord>> sorted;
    sorted.reserve(records.size());
    for (const Key& key : keys)
        sorted.append(std::move(records[key.position]));
    if (!ascending)
        std::reverse(sorted.begin(), sorted.end());
    records = std::move(sorted);
}
