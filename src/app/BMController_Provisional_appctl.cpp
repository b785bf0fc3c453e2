// Stand-ins for controller operations that other concerns build (the main
// window, its tables and pop-ups, record and transfer commands, options).
// Each is the smallest body that lets the launch, reload and lock run; the
// real definitions replace this file.
#include "app/BMController.h"

#include "model/TVXUser.h"
#include "store/TVXDataBase.h"

#include <QLabel>
#include <QMainWindow>
#include <QVBoxLayout>

// provisional: built by mainwin
void BMController::initAboutBoxsetting() {}
QComboBox* BMController::categoriesPopup() { return nullptr; }
QComboBox* BMController::typesPopup() { return nullptr; }
QMenu* BMController::itemContextualMenu() { return nullptr; }
QSplitter* BMController::mainSplitView() { return nullptr; }
QSplitter* BMController::subSplitView() { return nullptr; }
QSplitter* BMController::smartTypeSplitView() { return nullptr; }
void BMController::saveLayoutPreferenceWithName(QSplitter*, const QString&) {}
void BMController::restoreLayoutPreferenceFromName(QSplitter*, const QString&) {}
bool BMController::columnToggleInfoState() { return mDatabase->mCurrentUser()->mShowDetailOnPane(); }
// provisional: built by grouptype

// provisional: built by admin

// provisional: built by options

// provisional: built by detailpane
void BMController::addExtractAttachmentMenu(const std::any&) {}
