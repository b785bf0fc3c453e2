#pragma once
// The application controller: runs the log-in panel, starts the load, builds
// the main window and serves every command of it. One class; each concern has
// its own BMController_<Concern>.cpp and its own marked sections below.
#include <QObject>
#include <QString>

#include <memory>

class TVXDataBase;
class TVXRecord;

class BMController : public QObject {
    Q_OBJECT
public:
    // The single controller; made on first use.
    static BMController* sharedApplicationController();
    explicit BMController(TVXDataBase* database = nullptr, QObject* parent = nullptr);
    ~BMController() override;

    TVXDataBase* database() const { return mDatabase; }

    // --- start-up, log-in and shut-down ---
    // (end of start-up, log-in and shut-down)

    // --- loading, reloading and lost connection ---
    // (end of loading, reloading and lost connection)

    // --- lock, unlock and clipboard ---
    // (end of lock, unlock and clipboard)

    // --- password panels ---
    // (end of password panels)

    // --- record commands ---
    // (end of record commands)

    // --- attachments, printing, mail and web log-in ---
    // (end of attachments, printing, mail and web log-in)

    // --- import, export, backup and restore ---
    // (end of import, export, backup and restore)

    // --- view, group and type selection ---
    // (end of view, group and type selection)

    // --- main window, toolbar and split views ---
    // (end of main window, toolbar and split views)

    // --- outline and record tables ---
    // (end of outline and record tables)

    // --- pop-ups, menus, columns and sorting ---
    // (end of pop-ups, menus, columns and sorting)

    // --- applying the options ---
    // (end of applying the options)

private:
    TVXDataBase* mDatabase = nullptr;

    // [start-up, log-in and shut-down]
    // (end of start-up, log-in and shut-down)

    // [loading, reloading and lost connection]
    // (end of loading, reloading and lost connection)

    // [lock, unlock and clipboard]
    // (end of lock, unlock and clipboard)

    // [password panels]
    // (end of password panels)

    // [record commands]
    // (end of record commands)

    // [attachments, printing, mail and web log-in]
    // (end of attachments, printing, mail and web log-in)

    // [import, export, backup and restore]
    // (end of import, export, backup and restore)

    // [view, group and type selection]
    // (end of view, group and type selection)

    // [main window, toolbar and split views]
    // (end of main window, toolbar and split views)

    // [outline and record tables]
    // (end of outline and record tables)

    // [pop-ups, menus, columns and sorting]
    // (end of pop-ups, menus, columns and sorting)

    // [applying the options]
    // (end of applying the options)
};
