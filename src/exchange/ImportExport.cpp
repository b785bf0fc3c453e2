#include "exchange/ImportExport.h"

#include "platform/core/MainThread.h"

#include <mysql.h>

namespace {

// Workers release the client library's per-thread state before they end.
void endWorkerClientState()
{
    if (!platform::isMainThread())
        mysql_thread_end();
}

} // namespace

void RunImport(TVXqVXImportDelegate& sink, const std::string& password)
{
    // Nothing thrown here may end the worker: the file is refused and the
    // sink completes, which is the last the sink is touched.
    bool started = false;
    try {
        CqVXImporter importer(sink.path(), &sink);
        started = true;
        importer.ImportFile(importer.FileType(), password); // ends with the sink's ImportComplete
    } catch (const TVXFileTooLarge&) {
        sink.ErrorInImport(kImportErrorFileTooLarge);
        sink.ImportComplete();
    } catch (...) {
        if (!started) {
            sink.ErrorInImport(kImportErrorUnreadableFile);
            sink.ImportComplete();
        }
    }
    // The sink may be gone from here on.
    endWorkerClientState();
}

bool RunExport(CExportDelegate& provider, const std::string& path, EFileType kind, const std::string& password)
{
    bool ok = false;
    bool started = false;
    try {
        CExporter exporter(path, &provider, kind, password);
        started = true;
        ok = exporter.DoExport(); // ends with the provider's ExportComplete
    } catch (...) {
        if (!started) {
            provider.ErrorInExport(kExportErrorCreateFile);
            provider.ExportComplete(kind, std::string());
        }
    }
    // The provider may be gone from here on.
    endWorkerClientState();
    return ok;
}
