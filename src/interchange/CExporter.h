#pragma once
// The exporter: writes records that an export provider hands over, one by
// one, to a CSV export file or a qVX file of version 3 or 4 (plain or
// encrypted); for version 4 also each record's attachment as a side file in
// the "Files" folder beside the qVX file. Plain C++ over bytes; the provider
// is the only way to the records.
//
// The file is written under a temporary name and renamed into place once it
// is whole: a failed export leaves no half file behind (and an earlier file
// of that name as it was).
#include "interchange/CqVXImporter.h"
#include "interchange/FileFormats.h"

#include <cstdint>
#include <string>

// Codes handed to CExportDataProviderDelegate::ErrorInExport.
inline constexpr int kExportErrorSideFile = 1;        // a side file could not be written (the export goes on)
inline constexpr int kExportErrorCreateFile = 2;      // the export file (or its folder) could not be made
inline constexpr int kExportErrorWriteFile = 3;       // writing or completing the export file failed
inline constexpr int kExportErrorAttachment = 4;      // an attachment could not be read from the store
inline constexpr int kExportErrorNoType = 5;          // a record's type could not be given: export ended early
inline constexpr int kExportErrorSideFileName = 6;    // a record identifier is no valid side-file name
inline constexpr int kExportErrorNoteTooLong = 7;     // a record left out: its note is more than an import takes

// The type and creator codes given to exported files.
inline constexpr char kExportFileTypeCode[] = "TEXT";
inline constexpr char kQVXCreatorCode[] = "Tvlx";
inline constexpr char kCSVCreatorCode[] = "ttxt";

// Records the codes of an exported file of the kind (skipped where the file
// system keeps none). False when they could not be recorded.
bool SetExportFileCodes(EFileType kind, const std::string& path);

// The export provider. Every call comes from the thread running DoExport;
// ExportComplete is always the last.
class CExportDataProviderDelegate {
public:
    virtual ~CExportDataProviderDelegate() = default;

    // The export is over. path is where the file now lies (its type and
    // creator codes recorded), or empty when no file was put in place.
    // ErrorInExport has told of every failure before.
    virtual void ExportComplete(EFileType kind, const std::string& path) = 0;
    // A failure; the export goes on unless the code says otherwise.
    virtual void ErrorInExport(int code) = 0;
    // The type of the record last returned: names = type name and field names
    // 1 to 10. False ends the export without a file (kExportErrorNoType).
    virtual bool GetTypeForLastRecord(CStringArray& names, int32_t& mask, int32_t& icon) = 0;
    // The next record; false when there is none. values: for CSV the type
    // name, values 1 to 9, the date and the notes; for qVX values 1 to 9, the
    // date and the notes. customNames: 10 entries (qVX). attachmentFields:
    // name, pass key, record identifier (version 4). typeChanged: a type line
    // is to be written before this record.
    virtual bool GetNextRecord(EFileType kind, CStringArray& values, int32_t& mask, CStringArray& customNames,
                               CString& groupName, CStringArray& attachmentFields, int32_t& icon,
                               bool& typeChanged) = 0;
    // Writes one record's attachment, enciphered under its pass key, to the
    // side-file path. True when written or when the record has none.
    virtual bool CopyAttachmentToPath(const std::string& sideFilePath, const std::string& recordID,
                                      const std::string& passKey) = 0;
    // Whether side files are to be made for a version 4 export.
    virtual bool AnyRecordHasAttachment() = 0;
    // Makes the folder layout for a version 4 export with side files (see
    // PrepareExportFolder): pathOut the qVX file inside it, sideFileFolder
    // the folder of side files. False when it cannot be made.
    virtual bool InitPathsForExportWithAttachments(const std::string& pathIn, std::string& pathOut,
                                                   std::string& sideFileFolder) = 0;
};

class CExporter {
public:
    // Throws TVXInterchangeError "Invalid arguments" for a null provider, an
    // empty path or a kind other than eFileCSVExport, eFileQVXv3 and
    // eFileQVXv4. A non-empty password encrypts a qVX file (never a CSV
    // file); the provider is not owned.
    CExporter(const std::string& path, CExportDataProviderDelegate* provider, EFileType kind,
              const std::string& password);
    ~CExporter();
    CExporter(const CExporter&) = delete;
    CExporter& operator=(const CExporter&) = delete;

    // Writes the whole file and ends with the provider's ExportComplete, in
    // every case. True when the file is in place and every record and side
    // file was written. After ExportComplete the exporter touches neither the
    // provider nor itself.
    bool DoExport();

    bool IsEncrypted() const { return mEncrypted; }
    // The file written: the given path, or the inner file of a version 4
    // export folder once DoExport has made it.
    const std::string& Path() const { return mPath; }

private:
    bool writeFile(const std::string& sideFileFolder, bool& complete);

    std::string mPath;
    bool mEncrypted = false;
    TVXFileKey mKey;
    EFileType mKind;
    CExportDataProviderDelegate* mProvider;
};
