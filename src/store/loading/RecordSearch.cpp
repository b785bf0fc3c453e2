#include "store/loading/RecordSearch.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "store/loading/ParallelFor.h"

#include <QSet>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

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

#if defined(__SSE2__)
__m128i splat(char c) { return _mm_set1_epi8(c); }
__m128i splat(char16_t c) { return _mm_set1_epi16(static_cast<short>(c)); }
// All mask bits of a lane set where a and b hold the same character.
__m128i sameLanes(__m128i a, __m128i b, char) { return _mm_cmpeq_epi8(a, b); }
__m128i sameLanes(__m128i a, __m128i b, char16_t) { return _mm_cmpeq_epi16(a, b); }
#endif

// Where the needle first occurs in the haystack (-1: nowhere), both in one or
// both in two bytes a character; the needle is at least two characters long.
template <class Char>
qsizetype indexInText(const Char* needle, qsizetype m, const Char* hay, qsizetype n)
{
    if (m > n)
        return -1;
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
                return at;
            for (size_t bit = 0; bit < sizeof(Char); ++bit) // one mask bit per byte
                mask &= mask - 1;
        }
    }
#endif
    for (; i + m <= n; ++i) {
        if (hay[i] == needle[0] && std::equal(needle + 1, needle + m, hay + i + 1))
            return i;
    }
    return -1;
}

} // namespace

QString foldSearchText(const QString& text)
{
    return text.toLower();
}

SearchNeedle::SearchNeedle(const QString& searchText)
    : m_text(foldSearchText(searchText))
{
    QByteArray utf8 = m_text.toUtf8();
    if (QString::fromUtf8(utf8) == m_text)
        m_utf8 = std::move(utf8);
}

qsizetype SearchNeedle::indexInUtf8(QByteArrayView haystack, qsizetype from) const
{
    if (!m_utf8)
        return -1;
    const QByteArray& text = *m_utf8;
    const qsizetype m = text.size();
    const qsizetype n = haystack.size();
    if (m == 0)
        return from <= n ? from : -1;
    if (from < 0 || m > n - from)
        return -1;
    const char* hay = haystack.data();
    const char* needle = text.constData();
    if (m == 1) {
        const void* at = std::memchr(hay + from, needle[0], static_cast<size_t>(n - from));
        return at ? static_cast<const char*>(at) - hay : -1;
    }
    const qsizetype at = indexInText(needle, m, hay + from, n - from);
    return at < 0 ? -1 : from + at;
}

int FoldedView::compare(const FoldedView& other) const
{
    if (m_isWide || other.m_isWide) {
        const QString mine = m_isWide ? QString() : toString();
        const QString theirs = other.m_isWide ? QString() : other.toString();
        return (m_isWide ? m_wide : QStringView(mine)).compare(other.m_isWide ? other.m_wide : QStringView(theirs));
    }
    // UTF-8 bytes order as code points, which is the UTF-16 order but where a
    // character from U+10000 (a lead byte from 0xf0; a surrogate pair in
    // UTF-16) meets one from U+E000 to U+FFFF (lead byte 0xee or 0xef).
    const qsizetype n = std::min(m_utf8.size(), other.m_utf8.size());
    const auto* a = reinterpret_cast<const unsigned char*>(m_utf8.data());
    const auto* b = reinterpret_cast<const unsigned char*>(other.m_utf8.data());
    const int prefix = n ? std::memcmp(a, b, static_cast<size_t>(n)) : 0;
    if (prefix == 0)
        return m_utf8.size() == other.m_utf8.size() ? 0 : (m_utf8.size() < other.m_utf8.size() ? -1 : 1);
    qsizetype i = 0;
    while (a[i] == b[i])
        ++i;
    const auto high = [](unsigned char c) { return c == 0xee || c == 0xef; };
    if ((a[i] >= 0xf0 && high(b[i])) || (high(a[i]) && b[i] >= 0xf0))
        return a[i] >= 0xf0 ? -1 : 1;
    return a[i] < b[i] ? -1 : 1;
}

bool SearchNeedle::occursIn(QStringView haystack) const
{
    if (m_text.size() == 1)
        return haystack.contains(m_text.front()); // vectorised in Qt
    return m_text.isEmpty()
        || indexInText(QStringView(m_text).utf16(), m_text.size(), haystack.utf16(), haystack.size()) >= 0;
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

namespace {

uint32_t readEnd(const char* table, int i)
{
    uint32_t end;
    std::memcpy(&end, table + size_t(i) * sizeof end, sizeof end);
    return end;
}

void writeEnd(char* table, int i, uint32_t end)
{
    std::memcpy(table + size_t(i) * sizeof end, &end, sizeof end);
}

// What folding does to valid UTF-8 below U+0100, byte by byte: capitals (A to
// Z; U+00C0 to U+00DE but U+00D7, written 0xc3 0x80 to 0x9e) step to their
// small letters, one byte or the second byte up by 0x20.
enum class ByteFolding { None, Some, Wide };

ByteFolding byteFolding(QByteArrayView text)
{
    ByteFolding folding = ByteFolding::None;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const unsigned char c = p[i];
        if (c >= 0xc4)
            return ByteFolding::Wide; // a character from U+0100 up
        if ((c >= 'A' && c <= 'Z') || (c == 0xc3 && p[i + 1] <= 0x9e && p[i + 1] != 0x97))
            folding = ByteFolding::Some;
    }
    return folding;
}

void foldBelowU0100(QByteArrayView text, char* out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (qsizetype i = 0; i < text.size(); ++i) {
        unsigned char c = p[i];
        if (c >= 'A' && c <= 'Z')
            c += 0x20;
        else if (i > 0 && p[i - 1] == 0xc3 && c <= 0x9e && c != 0x97)
            c += 0x20;
        out[i] = static_cast<char>(c);
    }
}

} // namespace

RecordSearchEntry::RecordSearchEntry(const TVXRecord& record)
    : m_stamp(record.changeStamp())
{
    if (!record.utf8TextsExact() || !foldBytes(record))
        foldTexts(record);
    const QByteArrayView date = record.utf8Text(9);
    const std::optional<qint64> time = record.utf8TextsExact()
                                           ? timeFromText(QLatin1StringView(date)) // a date is ASCII
                                           : modificationTimeFromText(record.textCopy(9));
    m_modificationTime = time.value_or(kNoTime);
    // Below U+0100 only capitals and the micro sign (0xc2 0xb5) fold to
    // something else, and folded texts hold no capitals.
    const FoldedView first = slice(0);
    m_firstValueFoldsToItself = !first.isWide() && byteFolding(first.utf8()) != ByteFolding::Wide
                                && !first.utf8().contains(QByteArrayView("\xc2\xb5"));
}

bool RecordSearchEntry::foldBytes(const TVXRecord& record)
{
    // Exact bytes are valid UTF-8: a lead byte from 0xc4 up starts a
    // character from U+0100 up, left to foldTexts.
    std::array<ByteFolding, TVXRecord::kTextSlotCount> folding{};
    bool folds = false;
    for (int i = 0; i < TVXRecord::kTextSlotCount; ++i) {
        if (i == kDateSlice)
            continue;
        folding[size_t(i)] = byteFolding(record.utf8Text(i));
        if (folding[size_t(i)] == ByteFolding::Wide)
            return false;
        folds = folds || folding[size_t(i)] == ByteFolding::Some;
    }
    const QString& displayDate = record.mValue10ForDisaply();
    if (!folds && displayDate.isEmpty()) {
        m_texts = record.utf8Block(); // read where it is
        return true;
    }
    // A copy laid out as the block, the display date in the date's place.
    const QByteArray date = foldSearchText(displayDate).toUtf8();
    size_t length = TVXRecord::kUtf8BlockHeader;
    for (int i = 0; i < kSliceCount; ++i)
        length += size_t(i == kDateSlice ? date.size() : record.utf8Text(i).size());
    m_own = std::make_unique_for_overwrite<char[]>(length);
    char* bytes = m_own.get() + TVXRecord::kUtf8BlockHeader;
    uint32_t end = 0;
    for (int i = 0; i < kSliceCount; ++i) {
        const QByteArrayView text = i == kDateSlice ? QByteArrayView(date) : record.utf8Text(i);
        if (i == kDateSlice || folding[size_t(i)] == ByteFolding::None)
            std::memcpy(bytes + end, text.data(), size_t(text.size()));
        else
            foldBelowU0100(text, bytes + end);
        end += uint32_t(text.size());
        writeEnd(m_own.get(), i, end);
    }
    m_texts = m_own.get();
    m_ownDate = true;
    return true;
}

void RecordSearchEntry::foldTexts(const TVXRecord& record)
{
    std::array<QString, kSliceCount> searched;
    for (int i = 0; i < 9; ++i)
        searched[size_t(i)] = foldSearchText(record.textCopy(i));
    searched[kDateSlice] = foldSearchText(record.mValue10ForDisaply());
    searched[kNotesSlice] = foldSearchText(record.textCopy(TVXRecord::kNotesSlot));
    m_ownDate = true;
    if (record.utf8TextsExact()) {
        // UTF-8 holds the folded texts exactly too.
        std::array<QByteArray, kSliceCount> bytes;
        size_t length = TVXRecord::kUtf8BlockHeader;
        for (int i = 0; i < kSliceCount; ++i) {
            bytes[size_t(i)] = searched[size_t(i)].toUtf8();
            length += size_t(bytes[size_t(i)].size());
        }
        m_own = std::make_unique_for_overwrite<char[]>(length);
        uint32_t end = 0;
        for (int i = 0; i < kSliceCount; ++i) {
            const QByteArray& text = bytes[size_t(i)];
            std::memcpy(m_own.get() + TVXRecord::kUtf8BlockHeader + end, text.constData(), size_t(text.size()));
            end += uint32_t(text.size());
            writeEnd(m_own.get(), i, end);
        }
        m_texts = m_own.get();
        return;
    }
    // UTF-16, each text ended by U+0000 so that a match never spans two.
    constexpr size_t header = (kSliceCount + 1) * sizeof(uint32_t);
    size_t units = 0;
    for (const QString& text : searched)
        units += size_t(text.size()) + 1;
    m_own = std::make_unique_for_overwrite<char[]>(header + units * sizeof(char16_t));
    auto* out = reinterpret_cast<char16_t*>(m_own.get() + header);
    uint32_t at = 0;
    for (int i = 0; i < kSliceCount; ++i) {
        writeEnd(m_own.get(), i, at);
        const QString& text = searched[size_t(i)];
        std::copy(text.utf16(), text.utf16() + text.size(), out + at);
        at += uint32_t(text.size());
        out[at++] = u'\0';
    }
    writeEnd(m_own.get(), kSliceCount, at);
    m_texts = m_own.get();
    m_wide = true;
}

bool RecordSearchEntry::isCurrentFor(const TVXRecord& record) const
{
    return m_stamp == record.changeStamp();
}

uint32_t RecordSearchEntry::sliceEnd(int i) const
{
    return readEnd(m_texts, i);
}

FoldedView RecordSearchEntry::slice(int i) const
{
    if (i < 0 || i >= kSliceCount || !m_texts)
        return {};
    if (m_wide) {
        constexpr size_t header = (kSliceCount + 1) * sizeof(uint32_t);
        const auto* units = reinterpret_cast<const char16_t*>(m_texts + header);
        const uint32_t from = sliceEnd(i);
        return QStringView(units + from, qsizetype(sliceEnd(i + 1) - from - 1));
    }
    if (i == kDateSlice && !m_ownDate)
        return QByteArrayView();
    const uint32_t from = i ? sliceEnd(i - 1) : 0;
    return QByteArrayView(m_texts + TVXRecord::kUtf8BlockHeader + from, qsizetype(sliceEnd(i) - from));
}

bool RecordSearchEntry::contains(const SearchNeedle& needle) const
{
    if (needle.isEmpty())
        return true;
    if (!m_texts)
        return false;
    if (m_wide) {
        constexpr size_t header = (kSliceCount + 1) * sizeof(uint32_t);
        const auto* units = reinterpret_cast<const char16_t*>(m_texts + header);
        // A needle holding the separator could match across two texts: test them one by one.
        if (needle.holds(QChar(u'\0'))) {
            for (int i = 0; i < kSliceCount; ++i) {
                if (needle.occursIn(slice(i).wide()))
                    return true;
            }
            return false;
        }
        return needle.occursIn(QStringView(units, qsizetype(sliceEnd(kSliceCount))));
    }
    // The texts lie side by side: a match counts when it lies within one of them.
    const qsizetype length = needle.utf8Size();
    if (length <= 0)
        return false;
    const char* bytes = m_texts + TVXRecord::kUtf8BlockHeader;
    const auto within = [&](uint32_t from, uint32_t to, int firstSlice) {
        const QByteArrayView range(bytes, qsizetype(to));
        for (qsizetype at = needle.indexInUtf8(range, from); at >= 0; at = needle.indexInUtf8(range, at + 1)) {
            int s = firstSlice;
            while (sliceEnd(s) <= uint32_t(at))
                ++s;
            if (at + length <= qsizetype(sliceEnd(s)))
                return true;
        }
        return false;
    };
    if (m_ownDate)
        return within(0, sliceEnd(kNotesSlice), 0);
    // The block's value 10 is not searched.
    return within(0, sliceEnd(8), 0) || within(sliceEnd(kDateSlice), sliceEnd(kNotesSlice), kNotesSlice);
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

void RecordSearchIndex::checkAt(size_t position, uint64_t epoch, std::vector<size_t>& stale)
{
    Slot& slot = m_slots[position];
    if (slot.checkedAt == epoch)
        return;
    if (slot.entry.isCurrentFor(*slot.record))
        slot.checkedAt = epoch;
    else
        stale.push_back(position);
}

void RecordSearchIndex::rebuild(const std::vector<size_t>& stale, uint64_t epoch)
{
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
        checkAt(p, epoch, stale);
    }
    rebuild(stale, epoch);
}

std::vector<const RecordSearchEntry*> RecordSearchIndex::entriesFor(const QList<std::shared_ptr<TVXRecord>>& records)
{
    const uint64_t epoch = TVXRecord::changeEpoch();
    std::vector<size_t> at(static_cast<size_t>(records.size()));
    std::vector<size_t> stale;
    size_t next = 0;
    for (size_t i = 0; i < at.size(); ++i) {
        const TVXRecord* record = records[qsizetype(i)].get();
        // A list in the order of the last walk finds each record where the
        // previous one ended, without a lookup.
        at[i] = next < m_slots.size() && m_slots[next].record == record ? next : size_t(slotOf(*record));
        next = at[i] + 1;
        checkAt(at[i], epoch, stale);
    }
    // A record listed twice is rebuilt once.
    std::sort(stale.begin(), stale.end());
    stale.erase(std::unique(stale.begin(), stale.end()), stale.end());
    rebuild(stale, epoch);
    std::vector<const RecordSearchEntry*> entries(at.size());
    for (size_t i = 0; i < at.size(); ++i)
        entries[i] = &m_slots[at[i]].entry;
    return entries;
}

void RecordSearchIndex::placeWalk(const std::vector<const TVXRecord*>& walk)
{
    clear();
    m_slots.resize(walk.size());
    for (size_t p = 0; p < walk.size(); ++p)
        m_slots[p].record = walk[p];
}

void RecordSearchIndex::makeEntryAt(size_t position, uint64_t epoch)
{
    Slot& slot = m_slots[position];
    if (!slot.record)
        return;
    slot.entry = RecordSearchEntry(*slot.record);
    slot.checkedAt = epoch;
}

bool RecordSearchIndex::indexWalk(const std::function<bool()>& stopped)
{
    m_where.clear();
    m_where.reserve(static_cast<qsizetype>(m_slots.size()));
    for (size_t p = 0; p < m_slots.size(); ++p) {
        if (p % 4096 == 0 && stopped())
            return false;
        if (m_slots[p].record)
            m_where.insert(m_slots[p].record, static_cast<qsizetype>(p));
    }
    return true;
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

namespace {

// The first eight UTF-16 code units of a text as two numbers, shorter texts
// padded with U+0000: where two pairs differ, they order as the texts do.
// `whole`: the numbers are the whole text (eight units or fewer, no U+0000),
// so that equal numbers of two whole texts mean equal texts.
std::pair<uint64_t, uint64_t> leadingUnits(const FoldedView& text, bool* whole = nullptr)
{
    std::array<char16_t, 8> units{};
    size_t count = 0;
    bool all = true;
    if (text.isWide()) {
        for (; count < units.size() && qsizetype(count) < text.wide().size(); ++count)
            units[count] = text.wide()[qsizetype(count)].unicode();
        all = qsizetype(count) == text.wide().size();
    } else {
        const QByteArrayView bytes = text.utf8();
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        qsizetype i = 0;
        while (i < bytes.size() && count < units.size()) {
            // Valid UTF-8: the lead byte tells the length.
            const unsigned char c = p[i];
            char32_t point = c;
            int length = 1;
            if (c >= 0xf0) {
                point = c & 0x07;
                length = 4;
            } else if (c >= 0xe0) {
                point = c & 0x0f;
                length = 3;
            } else if (c >= 0xc0) {
                point = c & 0x1f;
                length = 2;
            }
            for (int k = 1; k < length; ++k)
                point = (point << 6) | (p[i + k] & 0x3f);
            i += length;
            if (point >= 0x10000) {
                units[count++] = char16_t(0xd800 + ((point - 0x10000) >> 10));
                if (count == units.size()) {
                    all = false; // its second half does not fit
                    break;
                }
                units[count++] = char16_t(0xdc00 + ((point - 0x10000) & 0x3ff));
            } else {
                units[count++] = char16_t(point);
            }
        }
        all = all && i >= bytes.size();
    }
    if (whole)
        *whole = all && std::find(units.begin(), units.begin() + qsizetype(count), u'\0') == units.begin() + qsizetype(count);
    uint64_t high = 0, low = 0;
    for (size_t i = 0; i < 4; ++i) {
        high = (high << 16) | units[i];
        low = (low << 16) | units[i + 4];
    }
    return {high, low};
}

// What a comparison reads first sits in the key itself, so that most
// comparisons decide without following a pointer into the texts (a sort of
// many records was bound by those reads): the column as a number (its rank,
// its time, or its first code units), value 1's first characters when it
// compares as it is.
struct Key {
    std::pair<uint64_t, uint64_t> primary;
    std::pair<uint64_t, uint64_t> secondary;
    uint32_t at = 0;
    bool plainSecondary = false;
    bool wholePrimary = false;
    bool wholeSecondary = false;
};

// Few distinct names: each name becomes its rank among them.
void rankByName(std::vector<Key>& keys, const QHash<uint64_t, QString>& names, const std::vector<uint64_t>& named)
{
    std::vector<std::pair<QStringView, uint64_t>> byText;
    byText.reserve(static_cast<size_t>(names.size()));
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        byText.emplace_back(it.value(), it.key());
    std::sort(byText.begin(), byText.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QHash<uint64_t, uint64_t> rank;
    rank.reserve(static_cast<qsizetype>(byText.size()));
    uint64_t r = 0;
    for (size_t i = 0; i < byText.size(); ++i) {
        if (i > 0 && byText[i].first != byText[i - 1].first)
            ++r;
        rank.insert(byText[i].second, r);
    }
    tvxsql::parallelFor(keys.size(), [&](size_t i) { keys[i].primary.first = rank.value(named[i]); }, 4096);
}

} // namespace

void sortRecordList(QList<std::shared_ptr<TVXRecord>>& records, int column, bool ascending,
                    RecordSearchIndex& index, const QDateTime& now)
{
    if (column < 0 || column >= kRecordColumnCount)
        column = kRecordColumnValue1;

    const qint64 nowTime = now.toMSecsSinceEpoch();
    const bool byName = column == kRecordColumnIcon || column == kRecordColumnType || column == kRecordColumnGroup;
    const bool byTime = column == kRecordColumnDate;
    const std::vector<const RecordSearchEntry*> entries = index.entriesFor(records);
    std::vector<Key> keys(entries.size());
    // What names a record in the column: its effective type's icon number + 1,
    // or its type's or group's address; 0 for none.
    std::vector<uint64_t> named(byName ? keys.size() : 0);
    std::vector<QString> attachmentNames(column == kRecordColumnAttachment ? keys.size() : 0);
    // The column's text; read again only where the keys tie.
    const auto textOf = [&](size_t i) -> FoldedView {
        if (column == kRecordColumnNotes)
            return entries[i]->foldedNotes();
        if (column == kRecordColumnAttachment)
            return QStringView(attachmentNames[i]);
        return entries[i]->foldedValue(column - kRecordColumnValue1);
    };
    // Reading the records' texts is waiting for memory: on several threads,
    // each writing its own keys.
    tvxsql::parallelFor(
        keys.size(),
        [&](size_t i) {
            const TVXRecord& record = *records.at(static_cast<qsizetype>(i));
            const RecordSearchEntry& entry = *entries[i];
            Key& key = keys[i];
            key.at = static_cast<uint32_t>(i);
            key.plainSecondary = entry.firstValueFoldsToItself();
            if (key.plainSecondary)
                key.secondary = leadingUnits(entry.foldedValue(0), &key.wholeSecondary);
            switch (column) {
            case kRecordColumnIcon:
                // By number, not by type: every customised record has a type of its own.
                if (const TVXType* type = effectiveType(record))
                    named[i] = uint64_t(uint32_t(type->mTypeIconID())) + 1;
                break;
            case kRecordColumnType:
                named[i] = reinterpret_cast<quintptr>(record.mType().get());
                break;
            case kRecordColumnGroup:
                named[i] = reinterpret_cast<quintptr>(record.mGroup().get());
                break;
            case kRecordColumnDate:
                // Flipping the sign bit orders signed times as unsigned numbers.
                key.primary.first =
                    static_cast<uint64_t>(entry.modificationTime().value_or(nowTime)) ^ (uint64_t(1) << 63);
                break;
            case kRecordColumnAttachment:
                // Folded here: few records have one, and the entries need not keep it.
                if (record.mHasAttachment())
                    attachmentNames[i] = foldSearchText(record.mAttachmentName());
                break;
            default:
                break;
            }
            if (!byName && !byTime)
                key.primary = leadingUnits(textOf(i), &key.wholePrimary);
        },
        2048);
    // Icon texts and folded names, made once per number, type or group.
    QHash<uint64_t, QString> names;
    for (const uint64_t name : named) {
        if (names.contains(name))
            continue;
        QString text;
        if (name && column == kRecordColumnIcon)
            text = QString::number(int32_t(uint32_t(name - 1)));
        else if (name && column == kRecordColumnType)
            text = foldSearchText(reinterpret_cast<const TVXType*>(name)->mTypeName());
        else if (name)
            text = foldSearchText(reinterpret_cast<const BMGroup*>(name)->mGroupName());
        names.insert(name, text);
    }
    if (byName)
        rankByName(keys, names, named);

    // Ranks and times are the whole column; first code units decide only where they differ.
    const bool primaryComplete = byName || byTime;
    // The order is complete (identifiers differ), so sorting parts on their
    // own and merging them gives the one order a single sort would.
    parallelSort(keys, [&](const Key& a, const Key& b) {
        if (a.primary != b.primary)
            return a.primary < b.primary;
        // Equal numbers of whole texts: equal texts (an empty column, mostly).
        int order = primaryComplete || (a.wholePrimary && b.wholePrimary) ? 0 : textOf(a.at).compare(textOf(b.at));
        if (order == 0) {
            // Texts that folding leaves alone compare alike either way; the plain way is faster.
            if (a.plainSecondary && b.plainSecondary && a.secondary != b.secondary)
                order = a.secondary < b.secondary ? -1 : 1;
            else if (!(a.plainSecondary && b.plainSecondary && a.wholeSecondary && b.wholeSecondary)) {
                const FoldedView x = entries[a.at]->foldedValue(0);
                const FoldedView y = entries[b.at]->foldedValue(0);
                order = a.plainSecondary && b.plainSecondary ? x.compare(y) : compareIgnoringCase(x, y);
            }
        }
        if (order == 0)
            order = records.at(a.at)->mRecordUID().compare(records.at(b.at)->mRecordUID());
        return order < 0;
    });

    QList<std::shared_ptr<TVXRecord>> sorted;
    sorted.reserve(records.size());
    for (const Key& key : keys)
        sorted.append(std::move(records[key.at]));
    if (!ascending)
        std::reverse(sorted.begin(), sorted.end());
    records = std::move(sorted);
}
