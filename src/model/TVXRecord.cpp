#include "model/TVXRecord.h"
#include "model/RecordTextHook.h"

#include <cstdio>

#include "model/BMGroup.h"
#include "model/TVXUID.h"

#include <QRegularExpression>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

const QString& groupUID(const std::shared_ptr<BMGroup>& group)
{
    static const QString none;
    return group ? group->mGroupUID() : none;
}

const QString& typeUID(const std::shared_ptr<TVXType>& type)
{
    static const QString none;
    return type ? type->mTypeUID() : none;
}

// Record serials, handed to each thread in blocks.
std::atomic<uint64_t> gNextSerialBlock{1};
constexpr uint64_t kSerialBlock = 4096;

uint64_t nextSerial()
{
    thread_local uint64_t next = 0;
    thread_local uint64_t end = 0;
    if (next == end) {
        next = gNextSerialBlock.fetch_add(kSerialBlock, std::memory_order_relaxed);
        end = next + kSerialBlock;
    }
    return next++;
}

// Set by any change; read first so that, once set, changes only read it.
std::atomic<bool> gChanged{true};
std::atomic<uint64_t> gEpoch{0};

std::atomic<void (*)(uint64_t)> gTextChangeHook{nullptr};

// Called before a record's texts or stamp change, with the record's serial.
void beforeTextChange(uint64_t stamp)
{
    if (const auto hook = gTextChangeHook.load(std::memory_order_acquire))
        hook(stamp >> 32);
}

void noteChange()
{
    if (!gChanged.load(std::memory_order_relaxed))
        gChanged.store(true, std::memory_order_relaxed);
}

constexpr size_t kBlockHeader = TVXRecord::kUtf8BlockHeader;

uint32_t blockEnd(const char* block, int slot)
{
    uint32_t end;
    std::memcpy(&end, block + size_t(slot) * sizeof end, sizeof end);
    return end;
}

// Bytes that QString::fromUtf8 reads and toUtf8 writes back as they are,
// checked quickly: ASCII and two-byte sequences (U+0080 to U+07FF), nearly
// every value. Anything else takes the long way through QString.
bool plainUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        uint64_t word;
        if (i + 8 <= n && (std::memcpy(&word, p + i, 8), (word & 0x8080808080808080u) == 0)) {
            i += 8;
            continue;
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c < 0xc2 || c > 0xdf || i + 1 >= n || (p[i + 1] & 0xc0) != 0x80)
            return false;
        i += 2;
    }
    return true;
}

} // namespace

void TVXRecord::takeNewSerial()
{
    m_changeStamp = nextSerial() << 32;
    noteChange();
}

void setRecordTextChangeHook(void (*hook)(uint64_t serial))
{
    gTextChangeHook.store(hook, std::memory_order_release);
}

void TVXRecord::renewChangeStamp()
{
    beforeTextChange(m_changeStamp);
    if ((m_changeStamp & 0xffffffffu) == 0xffffffffu)
        takeNewSerial();
    else
        ++m_changeStamp;
    noteChange();
}

uint64_t TVXRecord::changeEpoch()
{
    if (gChanged.load(std::memory_order_relaxed) && gChanged.exchange(false, std::memory_order_acq_rel))
        return gEpoch.fetch_add(1, std::memory_order_acq_rel) + 1;
    return gEpoch.load(std::memory_order_acquire);
}

TVXRecord::TVXRecord()
{
    const QString empty = QLatin1String("");
    m_value10ForDisaply = empty;
    m_attachmentName = empty;
    m_attachmentPassKey = empty;
    takeNewSerial();
}

TVXRecord::~TVXRecord()
{
    delete m_texts.load(std::memory_order_acquire);
}

std::shared_ptr<TVXRecord> TVXRecord::createRecord()
{
    auto record = std::make_shared<TVXRecord>();
    record->m_recordUID = TVXUID::giveMeNewUID();
    record->setText(9, modificationDateText(QDateTime::currentDateTime()));
    return record;
}

std::shared_ptr<TVXRecord> TVXRecord::createRecord(const QString& value10)
{
    if (value10.isEmpty())
        return createRecord();
    auto record = std::make_shared<TVXRecord>();
    record->m_recordUID = TVXUID::giveMeNewUID();
    record->setText(9, value10);
    return record;
}

std::shared_ptr<TVXRecord> TVXRecord::copyRecord(const TVXRecord& source)
{
    auto copy = createRecord();
    copy->m_group = source.m_group;
    copy->m_type = source.m_type;
    if (source.utf8TextsExact()) {
        std::array<QByteArrayView, kTextSlotCount> texts;
        for (int i = 0; i < kTextSlotCount; ++i)
            texts[size_t(i)] = source.utf8Text(i);
        uint16_t nullSlots = source.m_nullSlots & ~uint16_t(1u << 9);
        if (texts[9].isEmpty()) // an empty source date keeps the new one
            texts[9] = copy->utf8Text(9);
        copy->setUtf8Texts(texts, nullSlots);
    } else {
        for (int i = 0; i < kNumberOfFields; ++i)
            copy->setValueAtIndex(i, source.valueAtIndex(i));
        copy->setMNotes(source.mNotes());
    }
    copy->m_hasAttachment = source.m_hasAttachment;
    copy->m_isCustomized = source.m_isCustomized;
    copy->m_attachmentName = source.m_attachmentName;
    copy->m_attachmentPassKey = source.m_attachmentPassKey;
    copy->m_attachmentLength = source.m_attachmentLength;
    copy->m_value10ForDisaply = source.m_value10ForDisaply;
    copy->m_viewCounter = source.m_viewCounter;
    copy->m_attachmentState = kAttachmentStateNone;

    if (copy->m_isCustomized && source.m_recordCustomType) {
        copy->m_recordCustomType = TVXType::createCopyforType(*source.m_recordCustomType);
        copy->m_recordCustomType->setMTypeUID(TVXUID::giveMeNewUID());
    } else {
        copy->m_recordCustomType.reset();
        copy->m_isCustomized = false;
    }
    copy->renewChangeStamp();
    return copy;
}

std::shared_ptr<TVXRecord> TVXRecord::dummyRecord()
{
    static const std::shared_ptr<TVXRecord> dummy = [] {
        auto record = std::make_shared<TVXRecord>();
        record->m_recordUID = kDummyUID;
        record->m_recordCustomType = TVXType::UnfiledType();
        return record;
    }();
    return dummy;
}

QString TVXRecord::modificationDateText(const QDateTime& when)
{
    const QDateTime local = when.toLocalTime();
    const int offsetMinutes = local.offsetFromUtc() / 60;
    const int magnitude = std::abs(offsetMinutes);
    const QDate day = local.date();
    const QTime time = local.time();
    if (local.isValid() && day.year() >= 1000 && day.year() <= 9999 && magnitude / 60 < 100) {
        // Four-digit years: written directly, as the general formatter would.
        char text[32];
        const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02d%02d", day.year(),
                                         day.month(), day.day(), time.hour(), time.minute(), time.second(),
                                         offsetMinutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
        return QString::fromLatin1(text, length);
    }
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        + QStringLiteral(" %1%2%3")
              .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
              .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

QDateTime TVXRecord::dateFromModificationText(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}) ([+-])(\\d{2})(\\d{2})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    QDateTime moment = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!moment.isValid())
        return {};
    int offset = (match.captured(3).toInt() * 60 + match.captured(4).toInt()) * 60;
    if (match.captured(2) == QLatin1String("-"))
        offset = -offset;
    moment.setOffsetFromUtc(offset);
    return moment;
}

const std::array<TVXRecord::Getter, kNumberOfFields>& TVXRecord::getFunctionsArray()
{
    static constexpr std::array<Getter, kNumberOfFields> getters = {
        &TVXRecord::mValue1, &TVXRecord::mValue2, &TVXRecord::mValue3, &TVXRecord::mValue4,
        &TVXRecord::mValue5, &TVXRecord::mValue6, &TVXRecord::mValue7, &TVXRecord::mValue8,
        &TVXRecord::mValue9, &TVXRecord::mValue10};
    return getters;
}

const std::array<TVXRecord::Setter, kNumberOfFields>& TVXRecord::setFunctionsArray()
{
    static constexpr std::array<Setter, kNumberOfFields> setters = {
        &TVXRecord::setMValue1, &TVXRecord::setMValue2, &TVXRecord::setMValue3,
        &TVXRecord::setMValue4, &TVXRecord::setMValue5, &TVXRecord::setMValue6,
        &TVXRecord::setMValue7, &TVXRecord::setMValue8, &TVXRecord::setMValue9,
        &TVXRecord::setMValue10};
    return setters;
}

const QString& TVXRecord::valueAtIndex(int index) const
{
    return fieldThroughTable(*this, index);
}

void TVXRecord::setValueAtIndex(int index, const QString& value)
{
    setFieldThroughTable(*this, index, value);
}

void TVXRecord::setMValue10(const QString& v)
{
    if (v.isEmpty())
        return;
    setText(9, v);
}

QByteArrayView TVXRecord::utf8Text(int slot) const
{
    if (!m_block || slot < 0 || slot >= kTextSlotCount)
        return {};
    const uint32_t from = slot ? blockEnd(m_block.get(), slot - 1) : 0;
    return QByteArrayView(m_block.get() + kBlockHeader + from, blockEnd(m_block.get(), slot) - from);
}

QString TVXRecord::blockText(int slot) const
{
    if (m_nullSlots & (1u << slot))
        return QString();
    const QByteArrayView bytes = utf8Text(slot);
    return bytes.isEmpty() ? QStringLiteral("") : QString::fromUtf8(bytes);
}

QString TVXRecord::textCopy(int slot) const
{
    if (slot < 0 || slot >= kTextSlotCount)
        return QString();
    if (const Texts* texts = m_texts.load(std::memory_order_acquire))
        return (*texts)[size_t(slot)];
    return blockText(slot);
}

const TVXRecord::Texts& TVXRecord::madeTexts() const
{
    auto made = std::make_unique<Texts>();
    for (int i = 0; i < kTextSlotCount; ++i)
        (*made)[size_t(i)] = blockText(i);
    // Another thread may have made them meanwhile: the first made are kept.
    Texts* expected = nullptr;
    if (m_texts.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel, std::memory_order_acquire))
        return *made.release();
    return *expected;
}

void TVXRecord::storeBlock(const std::array<QByteArrayView, kTextSlotCount>& bytes)
{
    size_t total = 0;
    for (const QByteArrayView& b : bytes)
        total += size_t(b.size());
    if (total == 0) {
        m_block.reset();
        return;
    }
    // Made whole before the old block goes: `bytes` may view into it.
    auto block = std::make_unique_for_overwrite<char[]>(kBlockHeader + total);
    uint32_t end = 0;
    for (int i = 0; i < kTextSlotCount; ++i) {
        const QByteArrayView b = bytes[size_t(i)];
        if (!b.isEmpty())
            std::memcpy(block.get() + kBlockHeader + end, b.data(), size_t(b.size()));
        end += uint32_t(b.size());
        std::memcpy(block.get() + size_t(i) * sizeof end, &end, sizeof end);
    }
    m_block = std::move(block);
}

void TVXRecord::setText(int slot, const QString& v)
{
    beforeTextChange(m_changeStamp);
    const QByteArray bytes = v.toUtf8();
    // A lone surrogate (written as '?') or a leading U+FEFF (dropped when read) do not come back.
    const bool exact = QString::fromUtf8(bytes) == v;
    std::array<QByteArrayView, kTextSlotCount> all;
    for (int i = 0; i < kTextSlotCount; ++i)
        all[size_t(i)] = i == slot ? QByteArrayView(bytes) : utf8Text(i);
    storeBlock(all);
    const auto bit = uint16_t(1u << slot);
    m_nullSlots = v.isNull() ? (m_nullSlots | bit) : (m_nullSlots & ~bit);
    Texts* texts = m_texts.load(std::memory_order_acquire);
    if (!texts && !exact)
        texts = const_cast<Texts*>(&madeTexts());
    if (texts)
        (*texts)[size_t(slot)] = v;
    m_inexactSlots = exact ? (m_inexactSlots & ~bit) : (m_inexactSlots | bit);
    renewChangeStamp();
}

void TVXRecord::setUtf8Texts(const std::array<QByteArrayView, kTextSlotCount>& bytes, uint16_t nullSlots)
{
    beforeTextChange(m_changeStamp);
    std::array<QByteArrayView, kTextSlotCount> kept = bytes;
    std::array<QByteArray, kTextSlotCount> rewritten;
    std::array<QString, kTextSlotCount> inexactTexts;
    uint16_t inexact = 0;
    for (int i = 0; i < kTextSlotCount; ++i) {
        const auto at = size_t(i);
        if (nullSlots & (1u << i)) {
            kept[at] = {};
            continue;
        }
        if (plainUtf8(bytes[at]))
            continue;
        // Stored as QString::fromUtf8 reads it (invalid sequences replaced).
        const QString text = QString::fromUtf8(bytes[at]);
        rewritten[at] = text.toUtf8();
        kept[at] = rewritten[at];
        if (QString::fromUtf8(rewritten[at]) != text) {
            inexactTexts[at] = text;
            inexact |= uint16_t(1u << i);
        }
    }
    storeBlock(kept);
    m_nullSlots = nullSlots;
    m_inexactSlots = 0;
    Texts* texts = m_texts.load(std::memory_order_acquire);
    if (!texts && inexact)
        texts = const_cast<Texts*>(&madeTexts());
    if (texts) {
        for (int i = 0; i < kTextSlotCount; ++i)
            (*texts)[size_t(i)] = (inexact & (1u << i)) ? inexactTexts[size_t(i)] : blockText(i);
    }
    m_inexactSlots = inexact;
    renewChangeStamp();
}

bool TVXRecord::isEqualToRecord(const TVXRecord& other) const
{
    if (groupUID(m_group) != groupUID(other.m_group))
        return false;
    if (typeUID(m_type) != typeUID(other.m_type))
        return false;
    if (m_isCustomized != other.m_isCustomized)
        return false;
    if (m_isCustomized) {
        const auto& mine = m_recordCustomType;
        const auto& theirs = other.m_recordCustomType;
        if (static_cast<bool>(mine) != static_cast<bool>(theirs))
            return false;
        if (mine && mine->isNotEqualToCustomType(*theirs))
            return false;
    }
    if (m_hasAttachment != other.m_hasAttachment)
        return false;
    if (m_hasAttachment && m_attachmentName != other.m_attachmentName)
        return false;
    // Exact bytes stand for their texts one to one.
    const bool bytewise = utf8TextsExact() && other.utf8TextsExact();
    for (int i = 0; i < kTextSlotCount; ++i) {
        if (i == 9)
            continue; // the date
        if (bytewise ? utf8Text(i) != other.utf8Text(i) : text(i) != other.text(i))
            return false;
    }
    return true;
}
