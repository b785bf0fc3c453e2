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
void BMController::setupToolbarForWindow(QWidget*) {}
void BMController::setIconToMenuItems() {}
void BMController::createItemContextualMenu() {}
void BMController::initTableColumnSorting() {}
void BMController::initSubviews() {}
void BMController::initWindowTitle()
{
    if (mMainWindow)
        mMainWindow->setWindowTitle(
            QStringLiteral("%1 - %2").arg(tr("Tolvanex Enterprise"), mDatabase->mCurrentUser()->mUsername()));
}
void BMController::saveTableColumnWidthToPreference() {}
QComboBox* BMController::categoriesPopup() { return nullptr; }
QComboBox* BMController::typesPopup() { return nullptr; }
QMenu* BMController::itemContextualMenu() { return nullptr; }
QSplitter* BMController::mainSplitView() { return nullptr; }
QSplitter* BMController::subSplitView() { return nullptr; }
QSplitter* BMController::smartTypeSplitView() { return nullptr; }
void BMController::saveLayoutPreferenceWithName(QSplitter*, const QString&) {}
void BMController::restoreLayoutPreferenceFromName(QSplitter*, const QString&) {}
bool BMController::columnToggleInfoState() { return mDatabase->mCurrentUser()->mShowDetailOnPane(); }
void BMController::createMainWindow()
{
    auto* window = new QMainWindow;
    window->setObjectName(QStringLiteral("mMainWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* label = new QLabel(window);
    label->setObjectName(QStringLiteral("provisionalSummary"));
    label->setAlignment(Qt::AlignCenter);
    label->setMargin(40);
    window->setCentralWidget(label);
    window->resize(720, 420);
    connect(this, &QObject::destroyed, window, &QObject::deleteLater);
    mMainWindow = window;
    initWindowTitle();
    updateTables();
}

// provisional: built by grouptype

// provisional: built by admin

// provisional: built by options

// provisional: built by detailpane
void BMController::addExtractAttachmentMenu(const std::any&) {}
