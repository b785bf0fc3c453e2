#pragma once
// A sink and a provider that record what the importer and exporter hand them.
#include "FormatTestSupport.h"

#include "interchange/CExporter.h"
#include "interchange/CqVXImporter.h"
#include "interchange/SideFiles.h"

#include <QDir>

#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

namespace exchangetest {

using formattest::listOf;

// Every call in order: "type", "record", "error <n>", "complete".
class RecordingSink : public CqVXImporterDelegate {
public:
    struct Line {
        bool isType = false;
        EFileType kind = eFileNone;
        std::vector<std::string> values, customNames, attachmentFields;
        std::string groupName;
        int32_t icon = 0, mask = 0;
        int count = 0;
    };

    std::shared_ptr<BMGroup> FindOrAddGroup(const std::string&) override { return nullptr; }
    void CreateType(const CStringArray& fields, int32_t icon, int32_t mask, int count) override
    {
        calls.push_back("type");
        lines.push_back({true, eFileNone, listOf(fields), {}, {}, {}, icon, mask, count});
    }
    void AddRecord(EFileType kind, const CStringArray& values, const CStringArray& customNames,
                   const CStringArray& attachmentFields, const CString& groupName, int32_t icon, int32_t mask,
                   int count) override
    {
        calls.push_back("record");
        lines.push_back({false, kind, listOf(values), listOf(customNames), listOf(attachmentFields),
                         groupName.str(), icon, mask, count});
    }
    void ImportComplete() override { calls.push_back("complete"); }
    void ErrorInImport(int code) override { calls.push_back("error " + std::to_string(code)); }

    int count(const std::string& call) const
    {
        int n = 0;
        for (const auto& c : calls)
            n += c == call;
        return n;
    }

    std::vector<std::string> calls;
    std::vector<Line> lines;
};

// Hands out the given records; records what the exporter asks and reports.
class ScriptedProvider : public CExportDataProviderDelegate {
public:
    struct Record {
        std::string type; // the type's name; field names are "<type> f<n>"
        std::vector<std::string> values; // values 1 to 9, date, notes
        std::string attachmentName, passKey, recordID;
        std::string sideFileBytes; // written plainly, as the provider would after enciphering
        int32_t icon = 5, mask = 2;
    };

    explicit ScriptedProvider(std::vector<Record> records) : mRecords(std::move(records)) {}

    void ExportComplete(EFileType kind, const std::string& path) override
    {
        calls.push_back("complete");
        completedKind = kind;
        completedPath = path;
    }
    void ErrorInExport(int code) override { calls.push_back("error " + std::to_string(code)); }
    bool GetTypeForLastRecord(CStringArray& names, int32_t& mask, int32_t& icon) override
    {
        calls.push_back("type");
        if (refuseTypes)
            return false;
        const Record& r = mRecords[mNext - 1];
        names.Add(r.type);
        for (int i = 1; i <= 10; ++i)
            names.Add(r.type + " f" + std::to_string(i));
        mask = r.mask;
        icon = r.icon;
        return true;
    }
    bool GetNextRecord(EFileType kind, CStringArray& values, int32_t& mask, CStringArray& customNames,
                       CString& groupName, CStringArray& attachmentFields, int32_t& icon,
                       bool& typeChanged) override
    {
        if (mNext >= mRecords.size())
            return false;
        const Record& r = mRecords[mNext++];
        typeChanged = mLastType != r.type;
        mLastType = r.type;
        if (kind == eFileCSVExport) {
            values.Add(r.type);
            typeChanged = false;
        }
        for (const auto& v : r.values)
            values.Add(v);
        for (int i = 0; i < 10; ++i)
            customNames.Add("");
        if (kind == eFileQVXv4) {
            attachmentFields.Add(r.attachmentName);
            attachmentFields.Add(r.passKey);
            attachmentFields.Add(r.recordID);
        }
        groupName = "Group";
        mask = r.mask;
        icon = r.icon;
        return true;
    }
    bool CopyAttachmentToPath(const std::string& path, const std::string& recordID,
                              const std::string& passKey) override
    {
        calls.push_back("copy " + recordID);
        for (const Record& r : mRecords)
            if (r.recordID == recordID) {
                EXPECT_EQ(r.passKey, passKey);
                if (!WriteFilePrivately(path, r.sideFileBytes)) {
                    ErrorInExport(kExportErrorSideFile);
                    return false;
                }
                sideFiles.push_back(path);
            }
        return true;
    }
    bool AnyRecordHasAttachment() override
    {
        for (const Record& r : mRecords)
            if (!r.attachmentName.empty())
                return true;
        return false;
    }
    bool InitPathsForExportWithAttachments(const std::string& in, std::string& out, std::string& folder) override
    {
        calls.push_back("paths");
        return PrepareExportFolder(in, out, folder);
    }

    std::vector<std::string> calls;
    std::vector<std::string> sideFiles;
    EFileType completedKind = eFileNone;
    std::string completedPath = "(not called)";
    bool refuseTypes = false;

private:
    std::vector<Record> mRecords;
    std::size_t mNext = 0;
    std::string mLastType;
};

inline ScriptedProvider::Record record(const std::string& type, const std::string& first,
                                       const std::string& notes = "note")
{
    ScriptedProvider::Record r;
    r.type = type;
    r.values = {first, "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "May 07,2009", notes};
    return r;
}

inline int modeOf(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

// The names in a folder, hidden ones included, sorted.
inline std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    const QDir dir(QString::fromStdString(folder));
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                             QDir::Name))
        names.push_back(name.toStdString());
    return names;
}

// Lines of a written file split at CR.
inline std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\r') {
            lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

} // namespace exchangetest
