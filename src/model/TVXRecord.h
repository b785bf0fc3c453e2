#pragma once
// One stored secret: ten values, a note, an optional attachment, filed in a
// group under a type, optionally with its own customised copy of the type.
#include "model/TVXType.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class BMGroup;

// Pending attachment work for the next store.
inline constexpr int32_t kAttachmentStateNone = 0;
inline constexpr int32_t kAttachmentStateStoreNewFile = 1;
inline constexpr int32_t kAttachmentStateRemoved = 2;
inline constexpr int32_t kAttachmentStateCopyStored = 3;
inline constexpr int32_t kAttachmentStateReencipher = 4;

class TVXRecord {
public:
    using Getter = const QString& (TVXRecord::*)() const;
    using Setter = void (TVXRecord::*)(const QString&);

    // No identifier, group, type or custom type; every text empty; flags off; counters 0.
    TVXRecord();
    ~TVXRecord();
    TVXRecord(const TVXRecord&) = delete;
    TVXRecord& operator=(const TVXRecord&) = delete;

    // A new identifier and the current date and time in value 10; no group or type.
    static std::shared_ptr<TVXRecord> createRecord();
    // The same with value 10 given (a non-empty date text, as setMValue10
    // takes it): what an import makes, without working out the time of day.
    static std::shared_ptr<TVXRecord> createRecord(const QString& value10);
    // A duplicate under a new identifier; a customised source's custom type is copied
    // under a new identifier too. The attachment path is not copied; state 0.
    static std::shared_ptr<TVXRecord> copyRecord(const TVXRecord& source);
    // The shared placeholder record ("000000000", custom type = the unfiled type).
    static std::shared_ptr<TVXRecord> dummyRecord();

    // Date text of value 10: "2009-05-12 10:31:02 +0530" (local time and offset).
    static QString modificationDateText(const QDateTime& when);
    // Reads such a text back; invalid for anything else.
    static QDateTime dateFromModificationText(const QString& text);

    // Index i reaches value i + 1.
    static const std::array<Getter, kNumberOfFields>& getFunctionsArray();
    static const std::array<Setter, kNumberOfFields>& setFunctionsArray();
    // Value i + 1 through the tables; out-of-range indexes give an empty text / do nothing.
    const QString& valueAtIndex(int index) const;
    void setValueAtIndex(int index, const QString& value);

    // The values and the note are kept together as UTF-8 in one block; the
    // getters make their texts on first use and keep them. Loops over many
    // records read the bytes instead. Slots 0 to 9 are values 1 to 10.
    static constexpr int kNotesSlot = kNumberOfFields;
    static constexpr int kTextSlotCount = kNumberOfFields + 1;
    // What toUtf8() of the slot's text gives; good until the record changes.
    QByteArrayView utf8Text(int slot) const;
    // The block itself: the slots' ends (kTextSlotCount of them, uint32_t
    // each, from the end of this table), then their bytes; null when every
    // slot is empty. Good until the record changes (its stamp moves on).
    static constexpr size_t kUtf8BlockHeader = kTextSlotCount * sizeof(uint32_t);
    const char* utf8Block() const { return m_block.get(); }
    // Whether every slot's bytes read back as UTF-8 give its text exactly
    // (not so for a text holding a lone surrogate; the getters then hold it).
    bool utf8TextsExact() const { return m_inexactSlots == 0; }
    // The slot's text made now and not kept.
    QString textCopy(int slot) const;
    // Sets every value and the note from the plain bytes of their stored
    // forms, read as QString::fromUtf8 reads them; a slot in `nullSlots`
    // (bit per slot) is the null text.
    void setUtf8Texts(const std::array<QByteArrayView, kTextSlotCount>& bytes, uint16_t nullSlots = 0);

    // Duplicate test: group and type identifiers, customisation (and custom type
    // icon, mask and field names), attachment flag and name, note, values 1 to 9.
    bool isEqualToRecord(const TVXRecord& other) const;

    const QString& mRecordUID() const { return m_recordUID; }
    void setMRecordUID(const QString& v) { m_recordUID = v; }
    // The cached group and type, shared with the caches.
    const std::shared_ptr<BMGroup>& mGroup() const { return m_group; }
    void setMGroup(std::shared_ptr<BMGroup> v) { m_group = std::move(v); }
    const std::shared_ptr<TVXType>& mType() const { return m_type; }
    void setMType(std::shared_ptr<TVXType> v) { m_type = std::move(v); }
    // The record's own type; not shared with the caches.
    const std::shared_ptr<TVXType>& mRecordCustomType() const { return m_recordCustomType; }
    void setMRecordCustomType(std::shared_ptr<TVXType> v) { m_recordCustomType = std::move(v); }

    const QString& mValue1() const { return text(0); }
    const QString& mValue2() const { return text(1); }
    const QString& mValue3() const { return text(2); }
    const QString& mValue4() const { return text(3); }
    const QString& mValue5() const { return text(4); }
    const QString& mValue6() const { return text(5); }
    const QString& mValue7() const { return text(6); }
    const QString& mValue8() const { return text(7); }
    const QString& mValue9() const { return text(8); }
    const QString& mValue10() const { return text(9); }
    void setMValue1(const QString& v) { setText(0, v); }
    void setMValue2(const QString& v) { setText(1, v); }
    void setMValue3(const QString& v) { setText(2, v); }
    void setMValue4(const QString& v) { setText(3, v); }
    void setMValue5(const QString& v) { setText(4, v); }
    void setMValue6(const QString& v) { setText(5, v); }
    void setMValue7(const QString& v) { setText(6, v); }
    void setMValue8(const QString& v) { setText(7, v); }
    void setMValue9(const QString& v) { setText(8, v); }
    // An empty text keeps the date the record has.
    void setMValue10(const QString& v);

    const QString& mNotes() const { return text(kNotesSlot); }
    void setMNotes(const QString& v) { setText(kNotesSlot, v); }
    bool mIsCustomized() const { return m_isCustomized; }
    void setMIsCustomized(bool v) { m_isCustomized = v; }
    bool mHasAttachment() const { return m_hasAttachment; }
    void setMHasAttachment(bool v) { m_hasAttachment = v; renewChangeStamp(); }
    int32_t mViewCounter() const { return m_viewCounter; }
    void setMViewCounter(int32_t v) { m_viewCounter = v; }
    const QString& mValue10ForDisaply() const { return m_value10ForDisaply; }
    void setMValue10ForDisaply(const QString& v) { m_value10ForDisaply = v; renewChangeStamp(); }
    const QString& mAttachmentName() const { return m_attachmentName; }
    void setMAttachmentName(const QString& v) { m_attachmentName = v; renewChangeStamp(); }
    const QString& mAttachmentPassKey() const { return m_attachmentPassKey; }
    void setMAttachmentPassKey(const QString& v) { m_attachmentPassKey = v; }
    // The attached file's exact length, stored beside its pass key; -1 when
    // the row does not say (stored by an older client): its contents then
    // come back with the zero padding of their last block.
    qint64 mAttachmentLength() const { return m_attachmentLength; }
    void setMAttachmentLength(qint64 v) { m_attachmentLength = v; }
    // Local file chosen to be attached; never stored on the server.
    const QString& mAttachmentPath() const { return m_attachmentPath; }
    void setMAttachmentPath(const QString& v) { m_attachmentPath = v; }
    int32_t mAttachmentState() const { return m_attachmentState; }
    void setMAttachmentState(int32_t v) { m_attachmentState = v; }

    // Renewed whenever a value, the notes, the display date or the attachment
    // name or flag changes. Equal stamps mean the same object with the same
    // texts (the search index relies on it): the high half is a serial given
    // to each record made, the low half counts the record's own changes, so
    // the threads that fill records never write one shared counter per change.
    uint64_t changeStamp() const { return m_changeStamp; }
    // Moves on at a call when some record was made or changed since the
    // previous call (by anyone): while it stays the same, no record changed.
    static uint64_t changeEpoch();

private:
    using Texts = std::array<QString, kTextSlotCount>;

    void renewChangeStamp();
    void takeNewSerial();
    const QString& text(int slot) const
    {
        if (const Texts* texts = m_texts.load(std::memory_order_acquire))
            return (*texts)[static_cast<size_t>(slot)];
        return madeTexts()[static_cast<size_t>(slot)];
    }
    const Texts& madeTexts() const;
    // The slot's text as the block gives it, whatever is kept.
    QString blockText(int slot) const;
    void setText(int slot, const QString& v);
    // Replaces the block with `bytes` (already what toUtf8 gives).
    void storeBlock(const std::array<QByteArrayView, kTextSlotCount>& bytes);

    QString m_recordUID;
    uint64_t m_changeStamp = 0;
    std::shared_ptr<BMGroup> m_group;
    std::shared_ptr<TVXType> m_type;
    std::shared_ptr<TVXType> m_recordCustomType;
    // Ends of the slots (uint32_t each), then their bytes; null when all are empty.
    std::unique_ptr<char[]> m_block;
    // The texts, made when first asked for; shared by the threads that ask.
    mutable std::atomic<Texts*> m_texts{nullptr};
    uint16_t m_nullSlots = 0;
    uint16_t m_inexactSlots = 0; // set only while m_texts holds the exact texts
    bool m_isCustomized = false;
    bool m_hasAttachment = false;
    int32_t m_viewCounter = 0;
    QString m_value10ForDisaply;
    QString m_attachmentName;
    QString m_attachmentPassKey;
    qint64 m_attachmentLength = -1;
    QString m_attachmentPath;
    int32_t m_attachmentState = kAttachmentStateNone;
};
