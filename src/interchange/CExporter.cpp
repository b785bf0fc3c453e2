#include "interchange/CExporter.h"

#include "interchange/SideFiles.h"
#include "platform/core/FileTypeCodes.h"

namespace {

// Lines are gathered and written in pieces of about this size.
constexpr std::size_t kWriteChunk = 1 << 16;

bool isExportKind(EFileType kind)
{
    return kind == eFileCSVExport || kind == eFileQVXv3 || kind == eFileQVXv4;
}

} // namespace

bool SetExportFileCodes(EFileType kind, const std::string& path)
{
    return platform::setFileTypeAndCreator(path, kExportFileTypeCode,
                                           kind == eFileCSVExport ? kCSVCreatorCode : kQVXCreatorCode);
}

CExporter::CExporter(const std::string& path, CExportDataProviderDelegate* provider, EFileType kind,
                     const std::string& password)
    : mPath(path), mKind(kind), mProvider(provider)
{
    if (!provider || path.empty() || !isExportKind(kind))
        throw TVXInterchangeError("Invalid arguments");
    // A CSV file is never encrypted, whatever password was given.
    if (kind != eFileCSVExport && !password.empty()) {
        mKey = TVXFileKey(password);
        mEncrypted = true;
    }
}

CExporter::~CExporter() = default; // the key wipes itself

bool CExporter::DoExport()
{
    CExportDataProviderDelegate* const provider = mProvider;
    const EFileType kind = mKind;
    bool ok = true;
    bool placed = false;
    try {
        std::string sideFileFolder;
        if (kind == eFileQVXv4 && provider->AnyRecordHasAttachment()) {
            std::string inner;
            if (provider->InitPathsForExportWithAttachments(mPath, inner, sideFileFolder)) {
                mPath = inner;
            } else {
                provider->ErrorInExport(kExportErrorCreateFile);
                ok = false;
            }
        }
        if (ok)
            placed = writeFile(sideFileFolder, ok);
    } catch (...) {
        // Out of memory or the like: the temporary file is gone with the stack.
        provider->ErrorInExport(kExportErrorWriteFile);
        placed = ok = false;
    }
    const std::string written = placed ? mPath : std::string();
    ok = ok && placed;
    provider->ExportComplete(kind, written); // last: the owner may destroy us from here on
    return ok;
}

// The file through a temporary one; true when it was put in place, which it
// is only with every record. complete is cleared when anything meant for the
// file or its side files is missing.
bool CExporter::writeFile(const std::string& sideFileFolder, bool& complete)
{
    TVXAtomicFile file(mPath);
    if (!file.open()) {
        mProvider->ErrorInExport(kExportErrorCreateFile);
        return false;
    }
    const BlowfishContext* key = mKey.get();
    std::string buffer;
    WriteHeader(mKind, buffer, key);

    CStringArray values, customNames, attachmentFields, names;
    CString groupName;
    for (;;) {
        values.RemoveAll();
        customNames.RemoveAll();
        attachmentFields.RemoveAll();
        groupName.clear();
        int32_t mask = 0, icon = 0;
        bool typeChanged = false;
        if (!mProvider->GetNextRecord(mKind, values, mask, customNames, groupName, attachmentFields, icon,
                                      typeChanged))
            break;
        if (typeChanged && mKind != eFileCSVExport) {
            names.RemoveAll();
            int32_t typeMask = 0, typeIcon = 0;
            if (!mProvider->GetTypeForLastRecord(names, typeMask, typeIcon)) {
                // Records would be missing: no such file is put in place.
                mProvider->ErrorInExport(kExportErrorNoType);
                complete = false;
                WipeBytes(buffer);
                return false;
            }
            WriteNextQVXType(buffer, mKind, key, names, typeMask, typeIcon);
        }
        if (mKind == eFileCSVExport) {
            WriteNextRecord(buffer, values, groupName.str());
        } else {
            TVXFileLine line;
            line.icon = icon;
            line.mask = mask;
            line.values = values;
            line.customNames = customNames;
            line.attachmentFields = attachmentFields;
            line.groupName = groupName;
            WriteNextQVXRecord(buffer, mKind, key, line);
        }
        if (buffer.size() >= kWriteChunk) {
            const bool wrote = file.write(buffer);
            WipeBytes(buffer);
            buffer.clear();
            if (!wrote)
                break;
        }
        // A side file for each record that has an attachment.
        if (!sideFileFolder.empty() && attachmentFields.GetSize() >= kQVXAttachmentFieldCount
            && !attachmentFields.ViewAt(0).empty()) {
            const std::string recordID(attachmentFields.ViewAt(2));
            const auto sidePath = SideFilePath(sideFileFolder, recordID);
            if (!sidePath) {
                mProvider->ErrorInExport(kExportErrorSideFileName);
                complete = false;
            } else if (!mProvider->CopyAttachmentToPath(*sidePath, recordID,
                                                        std::string(attachmentFields.ViewAt(1)))) {
                complete = false;
            }
        }
    }
    const bool written = file.write(buffer) && file.commit();
    WipeBytes(buffer);
    if (!written) {
        mProvider->ErrorInExport(kExportErrorWriteFile);
        complete = false;
        return false;
    }
    SetExportFileCodes(mKind, mPath);
    return true;
}
