#pragma once
// The interchange files: qVX files (versions 1 to 4, plain or encrypted), the
// CSV export of records and the user-list CSV. Readers and writers work one
// line at a time; the importer and exporter drive them over a whole file.
//
// Readers take a position in the zero-terminated text of the whole file and
// return the position of the next line. Writers append one whole line,
// ended by a single CR, to a caller's string. No field or line has a size
// limit: a long note or an encrypted value is written and read whole.
//
// Fields are placed by their position in the line. A record line that ends
// before the fields its layout needs is refused (never delivered with its
// values moved into the date or the notes) and counted in a TVXReadReport;
// fields missing behind them read as empty. Fields past a qVX line's layout
// are left out and counted; a CSV line goes on as the next record.
//
// Records never span lines: a quote still open at the end of a line (one that
// is not closed by a quote followed by a comma or a line end) makes the line a
// counted refusal, and reading goes on at the next line. A type line refused
// so is delivered as an unnamed type, so that the records below it are not
// filed under the type above.
#include "interchange/Blowfish.h"
#include "interchange/CString.h"
#include "interchange/CStringArray.h"

#include <memory>
#include <string>
#include <string_view>

// The kind of an interchange file. The numbers travel between the commands,
// the importer and the exporter; no file stores them.
enum EFileType : int {
    eFileNone = 0,
    eFileCSVExport = 1,
    eFileQVXv1 = 2,
    eFileQVXv2 = 3,
    eFileQVXv3 = 4,
    eFileQVXv4 = 5,
    eFileQVXUnknown = 6,
    eFileUserCSV = 7,
    eFileText = 8,
    eFileBinary = 9,
};

inline constexpr std::string_view kTolvanexqVXPreHeader = "Tolvanex qVX File";
inline constexpr std::string_view kTolvanexqVXHeader = "Tolvanex qVX File -v1.0";
inline constexpr std::string_view kTolvanexqVX2Header = "Tolvanex qVX File -v2.0";
inline constexpr std::string_view kTolvanexqVX3Header = "Tolvanex qVX File -v3.0";
inline constexpr std::string_view kTolvanexqVX4Header = "Tolvanex qVX File -v4.0";
inline constexpr std::string_view kTolvanexHeader = "Tolvanex Export File";
inline constexpr std::string_view kTolvanUserCSVHeader =
    "Username, Password, Confirm Password, Full Name, Description, Email, Phone, "
    "Group-Permission, Type-Permission, Record-Permission, Data-Permission";
inline constexpr std::string_view kLineEnding = "\r";
// The check text of an encrypted qVX file: its info line holds it enciphered
// (exactly these 40 bytes, five blocks) so that a password can be tested
// before any record is read.
inline constexpr std::string_view kTolvanexqVXCrib = "Quiet harbor lamps glow over the bay 22.";
static_assert(kTolvanexqVXCrib.size() == 40);

// Number of fields of each list in a full line.
inline constexpr int kQVXOldFieldCount = 6;   // values and field names, versions 1 and 2
inline constexpr int kQVXFieldCount = 10;     // field names and custom names, versions 3 and 4
inline constexpr int kQVXValueCount = 9;      // values of a record line, versions 3 and 4
inline constexpr int kQVXAttachmentFieldCount = 3;
inline constexpr int kCSVExportValueCount = 12; // type name, values 1 to 9, date, notes
inline constexpr int kCSVUserAccountFieldCount = 7;
inline constexpr int kCSVUserPermissionFieldCount = 4;

// The Blowfish key of a qVX file, made from the password's bytes (its UTF-8
// form, all of it). An empty password gives no key: the file is plain.
class TVXFileKey {
public:
    TVXFileKey() = default;
    explicit TVXFileKey(std::string_view password);
    ~TVXFileKey();
    TVXFileKey(TVXFileKey&&) noexcept = default;
    TVXFileKey& operator=(TVXFileKey&&) noexcept = default;
    TVXFileKey(const TVXFileKey&) = delete;
    TVXFileKey& operator=(const TVXFileKey&) = delete;

    // The context to pass to the readers and writers; null without a key.
    const BlowfishContext* get() const { return mContext.get(); }
    explicit operator bool() const { return mContext != nullptr; }

private:
    struct ContextWiper {
        void operator()(BlowfishContext* context) const;
    };
    std::unique_ptr<BlowfishContext, ContextWiper> mContext;
};

// One line of a file as the readers deliver it and the qVX writer takes it.
//
// Type line: values = type name, then the field names (7 entries in versions
// 1 and 2, 11 in versions 3 and 4); the other lists empty.
// Record line (qVX): values = values 1 to 9, date, notes (11 entries; in
// versions 1 and 2 values 7 to 9 and the date are empty); customNames 6
// (version 2) or 10 (versions 3, 4) entries, none in version 1;
// attachmentFields = attachment name, pass key, record identifier in
// version 4, none before.
// CSV export line: values = type name, values 1 to 9, date, notes (12
// entries); groupName the last field.
// Text fields are valid UTF-8: bytes that are not are taken as Mac OS Roman.
struct TVXFileLine {
    bool isType = false;
    long icon = 0;
    long mask = 0;
    CStringArray values;
    CStringArray customNames;
    CStringArray attachmentFields;
    CString groupName;

    void clear();
};

// What the readers met besides the lines they delivered. One report may
// follow a whole file.
struct TVXReadReport {
    // Record lines that ended before the fields their layout needs, or with a
    // quote left open; they are passed over and the reader delivers the line
    // behind them.
    int refusedLines = 0;
    // qVX lines holding fields past their layout; the line was delivered
    // without the surplus.
    int linesWithExtraFields = 0;
    // At the start of a qVX file: the key given does not fit the info line
    // (wrong password, a password for a plain file, or none for an encrypted
    // one). Nothing was read.
    bool keyRefused = false;
};

// ---- Detection and info line ------------------------------------------------

// The kind of a whole file held in memory. Any byte below 32 other than TAB,
// LF, VT, FF, CR and 29 makes it eFileBinary; then the first bytes decide.
EFileType GetFileType(std::string_view file);

// The first field of the second line read as a Boolean: true when the file
// is encrypted.
bool CheckForEncryption(const char* text);

inline constexpr int kQVXInfoNotQVX = -1;
inline constexpr int kQVXInfoMatch = 0;
inline constexpr int kQVXInfoNeedsKey = 1;
inline constexpr int kQVXInfoWrongKey = 2;
// kQVXInfoNotQVX when the text does not begin with a qVX version header;
// kQVXInfoMatch for a plain file or when the key deciphers the check text;
// kQVXInfoNeedsKey for an encrypted file without a key; kQVXInfoWrongKey
// otherwise.
int ProcessQVXInfo(const char* text, const BlowfishContext* key);

// ---- Field encodings --------------------------------------------------------

// One text field: the plain (CSV) encoding without a key, else the text and
// its terminating zero, zero-padded to whole blocks, enciphered and written
// as upper-case hexadecimal. The text ends at its first zero byte.
void WriteFieldString(std::string& out, const BlowfishContext* key, std::string_view text);
// The text of a field already read in the plain encoding: unchanged without a
// key; with one, its hexadecimal run deciphered (whole blocks only) up to the
// first zero byte. The bytes are returned as found; the line readers decode
// them with DecodeTextBytes.
std::string DecryptFieldString(std::string_view field, const BlowfishContext* key);

// ---- Writers ----------------------------------------------------------------

// The header line of a kind (eFileQVXv1..v4 their version header,
// eFileUserCSV the user-CSV header, any other the CSV export header) and, for
// the qVX kinds only, the info line: "F" for a plain file, or "T," and the
// check text enciphered under key.
void WriteHeader(EFileType kind, std::string& out, const BlowfishContext* key);

// A type line of version 3 or 4: "T", icon, type name, field names 1 to 10,
// mask, each followed by a comma. names holds the type name and the field
// names; missing entries are written empty. False, nothing written, for
// other kinds.
bool WriteNextQVXType(std::string& out, EFileType kind, const BlowfishContext* key,
                      const CStringArray& names, long mask, long icon);

// A record line of version 3 (eFileQVXv3) or 4 (eFileQVXv4), or the type line
// when line.isType. values: entries 0 to 9 are values 1 to 9 and the date,
// entry 10 the notes (line feeds written as CR); attachment fields are
// written in version 4 only; missing entries are written empty. False,
// nothing written, for other kinds.
bool WriteNextQVXRecord(std::string& out, EFileType kind, const BlowfishContext* key,
                        const TVXFileLine& line);

// A CSV export line: type name, values 1 to 9, date, notes (line feeds
// written as CR), group name; always plain.
void WriteNextRecord(std::string& out, const CStringArray& values, std::string_view groupName);

// A user-list line: seven account fields, four permission fields, each
// followed by a comma.
void WriteNextCSVUserRecord(std::string& out, const CStringArray& accountFields,
                            const CStringArray& permissionFields);

// ---- Readers ----------------------------------------------------------------
// Each reader clears line, skips empty lines, and reads one line with the
// layout of its kind, deciphering text fields with key when given. At the
// start of a qVX file (the position holds its own version header) the header
// and info lines are skipped; when key does not fit the info line nothing is
// read, report->keyRefused is set and null is returned. At the end of the
// text the line is empty and the end is returned.

// Kind 1 and 8 the CSV reader, 2 to 5 the qVX reader of that version;
// any other kind reads nothing and returns null.
const char* GetNextRecord(EFileType kind, const char* pos, const BlowfishContext* key,
                          TVXFileLine& line, TVXReadReport* report = nullptr);

// CSV export lines (and lines of other text): the header line is skipped,
// then a line of at least 12 fields (type name, values 1 to 9, date, notes)
// and the group name when present. A line of more than 13 fields goes on as
// the next record from its 14th field: the position returned is that field's.
const char* ProcessTolvanexRecord(const char* pos, TVXFileLine& line,
                                  TVXReadReport* report = nullptr);
// qVX version 1.
const char* GetNextQVXRecord(const char* pos, const BlowfishContext* key, TVXFileLine& line,
                             TVXReadReport* report = nullptr);
// qVX version 2.
const char* GetNextQVXRecordV2(const char* pos, const BlowfishContext* key, TVXFileLine& line,
                               TVXReadReport* report = nullptr);
// qVX version 3.
const char* GetNextQVXRecordV3(const char* pos, const BlowfishContext* key, TVXFileLine& line,
                               TVXReadReport* report = nullptr);
// qVX version 4.
const char* GetNextQVXRecordV4(const char* pos, const BlowfishContext* key, TVXFileLine& line,
                               TVXReadReport* report = nullptr);

// One user-list line (header skipped): seven account and four permission
// fields; shorter lines are refused.
const char* GetCSVUserRecord(const char* pos, CStringArray& accountFields,
                             CStringArray& permissionFields, TVXReadReport* report = nullptr);
