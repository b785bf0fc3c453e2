// The client: the application object, the database manager's wiring, and the
// controller, which runs the log-in panel and everything after it.
#include <QApplication>
#include <QTimer>

#include "app/BMController.h"
#include "exchange/EventLogBackup.h"
#include "model/BMPasswordPolicyController.h"
#include "model/RandomSource.h"
#include "store/TVXDataBase.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvanex Enterprise"));
    QApplication::setOrganizationName(QStringLiteral("Tolvanex"));
    // Closing the last window quits through the controller, which clears
    // the clipboard and saves the view state first.
    QApplication::setQuitOnLastWindowClosed(false);

    RandomNumberInitFromSystem();
    TVXDataBase& db = TVXDataBase::sharedTVXDataBase();
    installEventLogBackupHandler(&db);
    BMPasswordPolicyController::sharedBMPasswordPolicyController().setPolicySource(
        [&db] { return db.passwordPolicyDetails(); });

    BMController* controller = BMController::sharedApplicationController();
    controller->awakeFromNib();
    controller->applicationWillFinishLaunching();
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1)
        controller->setFileToOpenAtLaunch(arguments.at(1));

    QObject::connect(&app, &QGuiApplication::lastWindowClosed, controller, [controller] { controller->terminate(); });
    QTimer::singleShot(0, controller, [controller] {
        if (!controller->applicationDidFinishLaunching())
            controller->terminate();
    });
    const int status = app.exec();
    delete controller;
    return status;
}
