// Type, record and user lines of qVX and CSV files.
#include "interchange/FileFormats.h"

#include "interchange/TextEncoding.h"
#include "interchange/TextParsing.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// ---- Reading ----------------------------------------------------------------

using Fields = std::vector<std::string>;

// Whether the field read from start to pos was followed by a comma: a field
// ends at a comma (consumed, then blanks skipped) or at a line end.
bool commaBehind(const char* start, const char* pos)
{
    if (!AtLineEnd(pos))
        return true;
    while (pos > start && (pos[-1] == ' ' || pos[-1] == '\t' || pos[-1] == '\v' || pos[-1] == '\f'))
        --pos;
    return pos > start && pos[-1] == ',';
}

// Whether the quoted field opening at pos ends as the plain encoding says: at
// a quote (not doubled) followed by blanks and then a comma, a line end or
// the end of the text. A stray quote instead runs on into the next fields or
// lines and closes, if ever, at some other field's quote.
bool quotedFieldCloses(const char* pos)
{
    for (++pos; *pos != '\0'; ++pos) {
        if (*pos != '"')
            continue;
        if (pos[1] == '"') {
            ++pos;
            continue;
        }
        ++pos;
        while (*pos == ' ' || *pos == '\t')
            ++pos;
        return *pos == ',' || AtLineEnd(pos);
    }
    return false;
}

struct LineRead {
    const char* next = nullptr; // where reading goes on
    // A quote opened on the line and never properly closed: the line cannot
    // be taken apart, and reading goes on at the line after the quote's.
    bool openQuote = false;
    // maxFields were read and the line goes on: next is its next field.
    bool continues = false;
};

// The fields of the line at pos, in order, at most maxFields of them; a comma
// before the line end stands for one more, empty, field.
LineRead readLineFields(const char* pos, Fields& fields, std::size_t maxFields = std::string::npos)
{
    fields.clear();
    LineRead read;
    bool afterComma = false;
    for (;;) {
        pos = SkipWhiteSp(pos, true);
        if (AtLineEnd(pos)) {
            if (afterComma)
                fields.emplace_back();
            break;
        }
        if (fields.size() >= maxFields) {
            read.continues = true;
            read.next = pos;
            return read;
        }
        if (*pos == '"' && !quotedFieldCloses(pos)) {
            fields.clear();
            read.openQuote = true;
            read.next = SkipLine(pos);
            return read;
        }
        const char* start = pos;
        std::string field;
        pos = GetNextField(pos, field);
        fields.push_back(std::move(field));
        afterComma = commaBehind(start, pos);
    }
    read.next = SkipReturns(pos);
    return read;
}

// Fields past the first `used` that hold anything (one trailing empty field
// is what a writer's closing comma leaves).
bool hasExtraFields(const Fields& fields, std::size_t used)
{
    for (std::size_t i = used; i < fields.size(); ++i)
        if (!fields[i].empty())
            return true;
    return false;
}

void noteExtraFields(const Fields& fields, std::size_t used, TVXReadReport* report)
{
    if (report && hasExtraFields(fields, used))
        ++report->linesWithExtraFields;
}

void noteRefused(TVXReadReport* report)
{
    if (report)
        ++report->refusedLines;
}

// The next line holding at least `needed` fields (at most maxFields read),
// each line before it that is shorter or leaves a quote open counted as
// refused; none at the end of the text. pos moves past what was read.
std::optional<LineRead> nextFullLine(const char*& pos, Fields& fields, std::size_t needed, TVXReadReport* report,
                                     std::size_t maxFields = std::string::npos)
{
    for (;;) {
        pos = SkipWhiteSp(pos, false);
        if (*pos == '\0')
            return std::nullopt;
        const LineRead read = readLineFields(pos, fields, maxFields);
        pos = read.next;
        if (!read.openQuote && fields.size() >= needed)
            return read;
        noteRefused(report);
    }
}

// True when the line at pos is exactly the header (blanks and commas may
// follow it), so a record whose first field merely begins like the header is
// still read.
bool atHeaderLine(const char* pos, std::string_view header)
{
    if (std::strncmp(pos, header.data(), header.size()) != 0)
        return false;
    pos += header.size();
    while (*pos == ' ' || *pos == '\t' || *pos == ',')
        ++pos;
    return AtLineEnd(pos);
}

long numberField(const Fields& fields, std::size_t index)
{
    return index < fields.size() ? std::strtol(fields[index].c_str(), nullptr, 10) : 0;
}

class TextFields {
public:
    TextFields(const Fields& fields, const BlowfishContext* key) : mFields(fields), mKey(key) {}

    // The text of the field at index, deciphered and as UTF-8; empty past the
    // end of the line.
    std::string at(std::size_t index) const
    {
        if (index >= mFields.size())
            return {};
        return DecodeTextBytes(DecryptFieldString(mFields[index], mKey));
    }
    void addTo(CStringArray& list, std::size_t index) const { list.Add(at(index)); }

private:
    const Fields& mFields;
    const BlowfishContext* mKey;
};

struct QVXLayout {
    std::string_view header;
    int typeFieldNames;     // field names of a type line
    bool typeHasMask;
    int values;             // values of a record line
    bool hasDate;
    int attachmentFields;
    bool hasMask;
    int customNames;
    bool hasGroup;
    bool dropNoteLineFeeds;
};

constexpr QVXLayout kLayoutV1 = {kTolvanexqVXHeader, kQVXOldFieldCount, false, kQVXOldFieldCount,
                                 false, 0, false, 0, false, false};
constexpr QVXLayout kLayoutV2 = {kTolvanexqVX2Header, kQVXOldFieldCount, true, kQVXOldFieldCount,
                                 false, 0, true, kQVXOldFieldCount, true, false};
constexpr QVXLayout kLayoutV3 = {kTolvanexqVX3Header, kQVXFieldCount, true, kQVXValueCount,
                                 true, 0, true, kQVXFieldCount, true, true};
constexpr QVXLayout kLayoutV4 = {kTolvanexqVX4Header, kQVXFieldCount, true, kQVXValueCount,
                                 true, kQVXAttachmentFieldCount, true, kQVXFieldCount, true, false};

// At the start of a file: false when the key does not fit its info line.
bool keyFitsFile(const char* text, const BlowfishContext* key)
{
    if (!CheckForEncryption(text))
        return key == nullptr; // a key would turn plain fields into noise
    return ProcessQVXInfo(text, key) == kQVXInfoMatch;
}

void readTypeLine(const QVXLayout& layout, const Fields& fields, const BlowfishContext* key,
                  TVXFileLine& line, TVXReadReport* report)
{
    const TextFields text(fields, key);
    line.isType = true;
    line.icon = numberField(fields, 1);
    std::size_t i = 2;
    for (int n = 0; n <= layout.typeFieldNames; ++n) // the name, then the field names
        text.addTo(line.values, i++);
    if (layout.typeHasMask)
        line.mask = numberField(fields, i++);
    noteExtraFields(fields, i, report);
}

// False when the line ends before its layout's required fields: all values
// (and the date and attachment fields), then the mask, or the notes in
// version 1, which has no mask.
bool readRecordLine(const QVXLayout& layout, const Fields& fields, const BlowfishContext* key,
                    TVXFileLine& line, TVXReadReport* report)
{
    const std::size_t required = 2 + layout.values + (layout.hasDate ? 1 : 0)
                                 + layout.attachmentFields + 1;
    if (fields.size() < required)
        return false;

    const TextFields text(fields, key);
    line.icon = numberField(fields, 1);
    std::size_t i = 2;
    for (int n = 0; n < layout.values; ++n)
        text.addTo(line.values, i++);
    for (int n = layout.values; n < kQVXValueCount; ++n)
        line.values.Add("");
    if (layout.hasDate)
        text.addTo(line.values, i++);
    else
        line.values.Add("");
    for (int n = 0; n < layout.attachmentFields; ++n)
        text.addTo(line.attachmentFields, i++);
    if (layout.hasMask)
        line.mask = numberField(fields, i++);
    for (int n = 0; n < layout.customNames; ++n)
        text.addTo(line.customNames, i++);
    if (layout.hasGroup)
        line.groupName = text.at(i++);
    std::string notes = text.at(i++);
    if (layout.dropNoteLineFeeds)
        std::erase(notes, '\n');
    line.values.Add(notes);
    noteExtraFields(fields, i, report);
    return true;
}

const char* readQVXLine(const QVXLayout& layout, const char* pos, const BlowfishContext* key,
                        TVXFileLine& line, TVXReadReport* report)
{
    line.clear();
    if (std::strncmp(pos, layout.header.data(), layout.header.size()) == 0) {
        if (!keyFitsFile(pos, key)) {
            if (report)
                report->keyRefused = true;
            return nullptr;
        }
        pos = SkipLine(SkipLine(pos));
    }
    Fields fields;
    for (;;) {
        pos = SkipWhiteSp(pos, false);
        if (*pos == '\0')
            return pos;
        const bool typeLine = *pos == 'T';
        const LineRead read = readLineFields(pos, fields);
        pos = read.next;
        if (read.openQuote) {
            if (typeLine) {
                // An unnamed type: the records below it are refused for want
                // of a type rather than filed under the type above.
                line.isType = true;
                line.values.Add("");
                return pos;
            }
            noteRefused(report);
            continue;
        }
        if (!fields.empty() && !fields[0].empty() && fields[0][0] == 'T') {
            readTypeLine(layout, fields, key, line, report);
            return pos;
        }
        if (readRecordLine(layout, fields, key, line, report))
            return pos;
        line.clear();
        noteRefused(report);
    }
}

// ---- Writing ----------------------------------------------------------------

std::string_view entry(const CStringArray& list, int index) { return list.ViewAt(index); }

// Notes keep their line breaks as CR: a line feed (alone or behind a CR)
// becomes one CR.
std::string notesForFile(std::string_view notes)
{
    std::string out;
    out.reserve(notes.size());
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (notes[i] == '\n') {
            if (i == 0 || notes[i - 1] != '\r')
                out += '\r';
        } else {
            out += notes[i];
        }
    }
    return out;
}

void writeField(std::string& out, const BlowfishContext* key, std::string_view text, bool comma)
{
    WriteFieldString(out, key, text);
    if (comma)
        out += ',';
}

bool isWrittenQVX(EFileType kind) { return kind == eFileQVXv3 || kind == eFileQVXv4; }

} // namespace

// ---- Writers ----------------------------------------------------------------

bool WriteNextQVXType(std::string& out, EFileType kind, const BlowfishContext* key,
                      const CStringArray& names, long mask, long icon)
{
    if (!isWrittenQVX(kind))
        return false;
    WriteBool(out, true, true);
    WriteNumber(out, icon, true);
    for (int i = 0; i <= kQVXFieldCount; ++i) // the name, then the field names
        writeField(out, key, entry(names, i), true);
    WriteNumber(out, mask, true);
    WriteString(out, kLineEnding);
    return true;
}

bool WriteNextQVXRecord(std::string& out, EFileType kind, const BlowfishContext* key,
                        const TVXFileLine& line)
{
    if (!isWrittenQVX(kind))
        return false;
    if (line.isType)
        return WriteNextQVXType(out, kind, key, line.values, line.mask, line.icon);
    WriteBool(out, false, true);
    WriteNumber(out, line.icon, true);
    for (int i = 0; i <= kQVXValueCount; ++i) // values 1 to 9, then the date
        writeField(out, key, entry(line.values, i), true);
    if (kind == eFileQVXv4)
        for (int i = 0; i < kQVXAttachmentFieldCount; ++i)
            writeField(out, key, entry(line.attachmentFields, i), true);
    WriteNumber(out, line.mask, true);
    for (int i = 0; i < kQVXFieldCount; ++i)
        writeField(out, key, entry(line.customNames, i), true);
    writeField(out, key, line.groupName.str(), true);
    writeField(out, key, notesForFile(entry(line.values, kQVXValueCount + 1)), false);
    WriteString(out, kLineEnding);
    return true;
}

void WriteNextRecord(std::string& out, const CStringArray& values, std::string_view groupName)
{
    constexpr int kNotes = kCSVExportValueCount - 1;
    for (int i = 0; i < kNotes; ++i)
        writeField(out, nullptr, entry(values, i), true);
    writeField(out, nullptr, notesForFile(entry(values, kNotes)), true);
    writeField(out, nullptr, groupName, false);
    WriteString(out, kLineEnding);
}

void WriteNextCSVUserRecord(std::string& out, const CStringArray& accountFields,
                            const CStringArray& permissionFields)
{
    for (int i = 0; i < kCSVUserAccountFieldCount; ++i)
        writeField(out, nullptr, entry(accountFields, i), true);
    for (int i = 0; i < kCSVUserPermissionFieldCount; ++i)
        writeField(out, nullptr, entry(permissionFields, i), true);
    WriteString(out, kLineEnding);
}

// ---- Readers ----------------------------------------------------------------

const char* GetNextRecord(EFileType kind, const char* pos, const BlowfishContext* key,
                          TVXFileLine& line, TVXReadReport* report)
{
    line.clear();
    switch (kind) {
    case eFileCSVExport:
    case eFileText:
        return ProcessTolvanexRecord(pos, line, report);
    case eFileQVXv1:
        return GetNextQVXRecord(pos, key, line, report);
    case eFileQVXv2:
        return GetNextQVXRecordV2(pos, key, line, report);
    case eFileQVXv3:
        return GetNextQVXRecordV3(pos, key, line, report);
    case eFileQVXv4:
        return GetNextQVXRecordV4(pos, key, line, report);
    default:
        return nullptr;
    }
}

const char* ProcessTolvanexRecord(const char* pos, TVXFileLine& line, TVXReadReport* report)
{
    line.clear();
    if (atHeaderLine(pos, kTolvanexHeader))
        pos = SkipLine(pos);
    constexpr std::size_t kFields = kCSVExportValueCount + 1; // with the group name
    Fields fields;
    const auto read = nextFullLine(pos, fields, kCSVExportValueCount, report, kFields);
    if (!read)
        return pos;
    const TextFields text(fields, nullptr);
    for (int i = 0; i < kCSVExportValueCount; ++i)
        text.addTo(line.values, i);
    line.groupName = text.at(kCSVExportValueCount);
    if (read->continues) {
        // The line goes on as the next record from its 14th field when that
        // tail holds a whole record; empty fields alone (a closing comma or
        // two) are no record, and a shorter tail is surplus, dropped and
        // counted once as such.
        Fields rest;
        const LineRead restRead = readLineFields(pos, rest);
        if (!restRead.openQuote && !hasExtraFields(rest, 0))
            return restRead.next;
        if (restRead.openQuote || rest.size() < std::size_t(kCSVExportValueCount)) {
            if (report)
                ++report->linesWithExtraFields;
            return restRead.next;
        }
    }
    return pos;
}

const char* GetNextQVXRecord(const char* pos, const BlowfishContext* key, TVXFileLine& line,
                             TVXReadReport* report)
{
    return readQVXLine(kLayoutV1, pos, key, line, report);
}

const char* GetNextQVXRecordV2(const char* pos, const BlowfishContext* key, TVXFileLine& line,
                               TVXReadReport* report)
{
    return readQVXLine(kLayoutV2, pos, key, line, report);
}

const char* GetNextQVXRecordV3(const char* pos, const BlowfishContext* key, TVXFileLine& line,
                               TVXReadReport* report)
{
    return readQVXLine(kLayoutV3, pos, key, line, report);
}

const char* GetNextQVXRecordV4(const char* pos, const BlowfishContext* key, TVXFileLine& line,
                               TVXReadReport* report)
{
    return readQVXLine(kLayoutV4, pos, key, line, report);
}

const char* GetCSVUserRecord(const char* pos, CStringArray& accountFields,
                             CStringArray& permissionFields, TVXReadReport* report)
{
    accountFields.RemoveAll();
    permissionFields.RemoveAll();
    if (atHeaderLine(pos, kTolvanUserCSVHeader))
        pos = SkipLine(pos);
    constexpr int kCount = kCSVUserAccountFieldCount + kCSVUserPermissionFieldCount;
    Fields fields;
    if (!nextFullLine(pos, fields, kCount, report))
        return pos;
    const TextFields text(fields, nullptr);
    for (int i = 0; i < kCSVUserAccountFieldCount; ++i)
        text.addTo(accountFields, i);
    for (int i = kCSVUserAccountFieldCount; i < kCount; ++i)
        text.addTo(permissionFields, i);
    noteExtraFields(fields, kCount, report);
    return pos;
}
