#include "windows/BMEventLoggerWindowController.h"

#include "platform/ui/ModalRun.h"
#include "platform/ui/SheetFrame.h"
#include "windows/EventLogTableModel.h"

#include <QHeaderView>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

BMEventLoggerWindowController* BMEventLoggerWindowController::sharedEventLoggerWindowController()
{
    static BMEventLoggerWindowController* shared =
        new BMEventLoggerWindowController(TVXEventLogger::sharedEventLogger());
    return shared;
}

BMEventLoggerWindowController::BMEventLoggerWindowController(TVXEventLogger& logger, QWidget* parent)
    : QDialog(parent), mLogger(logger)
{
    setObjectName(QStringLiteral("EventLoggerWindowController"));
    setWindowTitle(tr("Event Log"));
    resize(900, 440);

    mModel = new EventLogTableModel(this);
    m_logTable = new QTableView;
    m_logTable->setObjectName(QStringLiteral("mLogTable"));
    m_logTable->setModel(mModel);
    m_logTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_logTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_logTable->setAlternatingRowColors(true);
    m_logTable->setWordWrap(false);
    m_logTable->setShowGrid(false);
    m_logTable->verticalHeader()->hide();
    m_logTable->verticalHeader()->setDefaultSectionSize(m_logTable->fontMetrics().height() + 8);
    QHeaderView* header = m_logTable->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->resizeSection(0, 150);
    header->resizeSection(1, 150);
    header->resizeSection(2, 200);
    header->resizeSection(3, 170);
    header->resizeSection(4, 90);
    header->setSectionResizeMode(5, QHeaderView::Stretch);
    header->setSortIndicator(0, Qt::AscendingOrder);
    m_logTable->setSortingEnabled(true);

    auto* clear = new QPushButton(tr("Clear"));
    clear->setObjectName(QStringLiteral("clearLog"));
    clear->setAutoDefault(false);
    auto* ok = new QPushButton(tr("OK"));
    ok->setObjectName(QStringLiteral("okAction"));
    ok->setDefault(true);
    connect(clear, &QPushButton::clicked, this, &BMEventLoggerWindowController::clearLog);
    connect(ok, &QPushButton::clicked, this, &BMEventLoggerWindowController::okAction);

    platform::SheetFrame frame(this);
    frame.column()->addWidget(m_logTable, 1);
    frame.addButtonRow({clear}, {ok});

    // New events arrive on the main thread; the window may go first.
    QPointer<BMEventLoggerWindowController> self(this);
    mListener = mLogger.addListener([self](const TVXEventLogEntry& entry) {
        if (self)
            self->mModel->appendEntry(entry);
    });
    reloadTable();
}

BMEventLoggerWindowController::~BMEventLoggerWindowController() { mLogger.removeListener(mListener); }

void BMEventLoggerWindowController::reloadTable() { mModel->setEntries(mLogger.logArrary()); }

void BMEventLoggerWindowController::displayEventLogger()
{
    reloadTable();
    platform::runModalForWindow(this);
}

void BMEventLoggerWindowController::okAction() { platform::stopModal(); }

void BMEventLoggerWindowController::clearLog()
{
    mLogger.clearLog();
    reloadTable();
}

void BMEventLoggerWindowController::reloadLogDatabase()
{
    mLogger.reloadLogDatabase();
    reloadTable();
}
