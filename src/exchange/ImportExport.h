#pragma once
// What the import and export commands run on their worker thread: the whole
// import or export, synchronously on the calling thread. The command makes
// the sink or provider on the main thread, runs one of these on a worker,
// waits for the worker's end, then reads the summary and destroys the sink or
// provider. The completion flag is set only once these no longer touch the
// sink or provider; a worker thread's client-library state is released before
// they return.
#include "exchange/CExportDelegate.h"
#include "exchange/TVXqVXImportDelegate.h"

#include <string>

// Imports the sink's file into its target group. The password is used only
// for an encrypted file (test it first with CqVXImporter::DoesPasswordMatch).
// A file that cannot be read is reported as kImportErrorUnreadableFile.
void RunImport(TVXqVXImportDelegate& sink, const std::string& password);

// Exports the provider's records to path as kind (eFileCSVExport, eFileQVXv3
// or eFileQVXv4; a version 4 export with attachments becomes a folder). A
// non-empty password encrypts a qVX file. Refused arguments are reported as
// kExportErrorCreateFile. True when the file is in place with every record
// and attachment (as TVXExportSummary::succeeded says).
bool RunExport(CExportDelegate& provider, const std::string& path, EFileType kind, const std::string& password);
