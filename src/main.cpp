// The client: the application object, the shared store's wiring, and the
// controller, which runs the log-in panel and everything after it.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include "app/BMController.h"
#include "exchange/EventLogBackup.h"
#include "model/BMPasswordPolicyController.h"
#include "model/RandomSource.h"
#include "platform/core/QuitSignals.h"
#include "platform/core/SecretHygiene.h"
#include "platform/core/UserDefaults.h"
#include "store/accounts/HintStore.h"
#include "store/SharedStore.h"

int main(int argc, char** argv)
{
    // Before anything is deciphered: a crash must not write the records to a core file.
    platform::disableCoreDumps();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvanex Enterprise"));
    QApplication::setOrganizationName(QStringLiteral("Tolvanex"));
    QApplication::setApplicationVersion(QStringLiteral(TVX_VERSION)); // the about box and --version show it
    // The desktop entry and icon of an installed client; nothing when run from the build folder.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tolvanex.Enterprise"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.tolvanex.Enterprise")));
    // Closing the last window quits through the controller, which clears
    // the clipboard and saves the view state first.
    QApplication::setQuitOnLastWindowClosed(false);

    // Server, port and account given here fill the log-in panel (never a password).
    // Read before anything is set up, so that --help, --version and a wrong option
    // leave no window, temporary folder or setting behind.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tolvanex Enterprise client"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Server host for the log-in panel."),
                                  QStringLiteral("host"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Server port for the log-in panel."),
                                  QStringLiteral("port"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Account name for the log-in panel."),
                                  QStringLiteral("name"));
    const QCommandLineOption tlsCA(QStringLiteral("tls-ca"),
                                   QStringLiteral("Certificate-authority file the server's certificate must verify "
                                                  "against (kept in the settings; an empty name clears it)."),
                                   QStringLiteral("file"));
    parser.addOptions({host, port, user, tlsCA});
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A qVX or CSV file to import after the log-in."));
    parser.process(app);

    RandomNumberInitFromSystem();
    installEventLogBackupHandler(&sharedstore::eventLog());
    BMPasswordPolicyController::sharedBMPasswordPolicyController().setPolicySource(
        [&passwords = sharedstore::passwordHint()] { return passwords.passwordPolicyDetails(); });

    BMController* controller = BMController::sharedApplicationController();
    // Before the temporary folder is made: a session's end or Ctrl+C quits as Quit does.
    platform::quitOnTerminationSignals([controller] { controller->startup().terminate(); });
    controller->startup().awakeFromNib();
    controller->startup().applicationWillFinishLaunching();

    if (parser.isSet(host))
        platform::UserDefaults::setValue(QStringLiteral("ServerHostName"), parser.value(host));
    if (parser.isSet(port))
        platform::UserDefaults::setValue(QStringLiteral("PortNumber"), parser.value(port));
    if (parser.isSet(user))
        platform::UserDefaults::setValue(QStringLiteral("Username"), parser.value(user));
    if (parser.isSet(tlsCA)) {
        const QString file = parser.value(tlsCA);
        platform::UserDefaults::setValue(QStringLiteral("TLSCAFile"),
                                         file.isEmpty() ? QString() : QFileInfo(file).absoluteFilePath());
    }
    if (!parser.positionalArguments().isEmpty())
        controller->startup().setFileToOpenAtLaunch(parser.positionalArguments().constFirst());

    QObject::connect(&app, &QGuiApplication::lastWindowClosed, controller, [controller] { controller->startup().terminate(); });
    QTimer::singleShot(0, controller, [controller] {
        if (!controller->applicationDidFinishLaunching())
            controller->startup().terminate();
    });
    const int status = app.exec();
    delete controller;
    return status;
}
