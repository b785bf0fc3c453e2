#pragma once
// What the record and attachment writers encipher and read before they touch
// the connection: every cipher measured (the ciphers in store/writers/RecordWriter.h),
// the file read, so that a refusal comes before anything is written.
#include "store/TVXDataBase.h"
#include "store/attachments/AttachmentWriter.h" // TVXAttachmentUpload
