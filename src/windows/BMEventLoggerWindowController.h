#pragma once
// The event-log viewer: a modal window listing the events the log service
// recorded (date, event, description, outcome, user, computer). It listens
// to the service, so events recorded while it is open appear at once.
#include "store/eventlog/TVXEventLogger.h"

#include <QDialog>

class QTableView;
class EventLogTableModel;

class BMEventLoggerWindowController : public QDialog {
    Q_OBJECT
public:
    // The viewer of the shared database manager's log service.
    static BMEventLoggerWindowController* sharedEventLoggerWindowController();

    explicit BMEventLoggerWindowController(TVXEventLogger& logger, QWidget* parent = nullptr);
    ~BMEventLoggerWindowController() override;

    // Shows the service's list and runs the window modally until OK or close.
    void displayEventLogger();
    void okAction();
    // Empties the list in memory; the log table on the server keeps its rows.
    void clearLog();
    // The list becomes the entries read back from the store.
    void reloadLogDatabase();
    void saveLog() {}
    // Escape acts as OK, as closing the window does.
    void reject() override { okAction(); }

    QTableView* mLogTable() const { return m_logTable; }
    EventLogTableModel* model() const { return mModel; }

private:
    void reloadTable();

    TVXEventLogger& mLogger;
    TVXEventLogger::ListenerToken mListener = 0;
    QTableView* m_logTable = nullptr;
    EventLogTableModel* mModel = nullptr;
};
