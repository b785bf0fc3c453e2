#include "model/TVXRecord.h"

#include <cstdio>

#include "model/BMGroup.h"
#include "model/TVXUID.h"

#include <QRegularExpression>

#include <atomic>
#include <cstdlib>

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

void noteChange()
{
    if (!gChanged.load(std::memory_order_relaxed))
        gChanged.store(true, std::memory_order_relaxed);
}

} // namespace

void TVXRecord::takeNewSerial()
{
    m_changeStamp = nextSerial() << 32;
    noteChange();
}

void TVXRecord::renewChangeStamp()
{
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
    m_values.fill(empty);
    m_notes = empty;
    m_value10ForDisaply = empty;
    m_attachmentName = empty;
    m_attachmentPassKey = empty;
    takeNewSerial();
}

std::shared_ptr<TVXRecord> TVXRecord::createRecord()
{
    auto record = std::make_shared<TVXRecord>();
    record->m_recordUID = TVXUID::giveMeNewUID();
    record->m_values[9] = modificationDateText(QDateTime::currentDateTime());
    record->renewChangeStamp();
    return record;
}

std::shared_ptr<TVXRecord> TVXRecord::createRecord(const QString& value10)
{
    if (value10.isEmpty())
        return createRecord();
    auto record = std::make_shared<TVXRecord>();
    record->m_recordUID = TVXUID::giveMeNewUID();
    record->m_values[9] = value10;
    record->renewChangeStamp();
    return record;
}

std::shared_ptr<TVXRecord> TVXRecord::copyRecord(const TVXRecord& source)
{
    auto copy = createRecord();
    copy->m_group = source.m_group;
    copy->m_type = source.m_type;
    for (int i = 0; i < kNumberOfFields; ++i)
        copy->setValueAtIndex(i, source.valueAtIndex(i));
    copy->m_hasAttachment = source.m_hasAttachment;
    copy->m_isCustomized = source.m_isCustomized;
    copy->m_attachmentName = source.m_attachmentName;
    copy->m_attachmentPassKey = source.m_attachmentPassKey;
    copy->m_attachmentLength = source.m_attachmentLength;
    copy->m_value10ForDisaply = source.m_value10ForDisaply;
    copy->m_notes = source.m_notes;
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
    static const QString none;
    if (index < 0 || index >= kNumberOfFields)
        return none;
    return (this->*getFunctionsArray()[index])();
}

void TVXRecord::setValueAtIndex(int index, const QString& value)
{
    if (index < 0 || index >= kNumberOfFields)
        return;
    (this->*setFunctionsArray()[index])(value);
}

void TVXRecord::setMValue10(const QString& v)
{
    if (v.isEmpty())
        return;
    m_values[9] = v;
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
    if (m_notes != other.m_notes)
        return false;
    for (int i = 0; i < kNumberOfFields - 1; ++i) {
        if (m_values[i] != other.m_values[i])
            return false;
    }
    return true;
}
