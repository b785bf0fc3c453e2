#pragma once
// The small pictures of the detail pane, drawn here: the copy button
// ("16x16_Paste") and the attachment button ("ViewAttachment").
#include <QIcon>

namespace detailpane {

QIcon copyIcon();
QIcon viewAttachmentIcon();

} // namespace detailpane
