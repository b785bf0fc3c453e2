// The client's own binary, ended by a signal as the end of a desktop session
// or Ctrl+C in a terminal ends it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

namespace {

// The client's temporary attachment folder (made at start-up, after its
// signal handlers), once it exists; empty when the client ended first.
QString attachmentFolderOf(QProcess& client, const QString& temporaryRoot)
{
    for (;;) {
        const QStringList made = QDir(temporaryRoot).entryList({QStringLiteral("tolvanex-*")}, QDir::Dirs);
        if (!made.isEmpty())
            return QDir(temporaryRoot).filePath(made.constFirst());
        if (client.state() == QProcess::NotRunning || client.waitForFinished(50))
            return QString();
    }
}

TEST(ClientProcess, TerminationSignalsQuitAsQuitDoesAndRemoveOpenedAttachments)
{
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        QTemporaryDir temporaryRoot;
        QTemporaryDir home;
        ASSERT_TRUE(temporaryRoot.isValid() && home.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", temporaryRoot.path());
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("DBUS_SESSION_BUS_ADDRESS"); // no keyring of the machine's session
        QProcess client;
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start(QStringLiteral(TVX_CLIENT_BINARY), {});
        ASSERT_TRUE(client.waitForStarted());

        const QString folder = attachmentFolderOf(client, temporaryRoot.path());
        ASSERT_FALSE(folder.isEmpty()) << "the client ended before making its temporary folder";
        // An attachment opened for viewing: deciphered into the folder.
        QFile opened(QDir(folder).filePath(QStringLiteral("contract.pdf")));
        ASSERT_TRUE(opened.open(QIODevice::WriteOnly));
        opened.write("deciphered");
        opened.close();

        ASSERT_EQ(::kill(pid_t(client.processId()), signalNumber), 0);
        ASSERT_TRUE(client.waitForFinished(60000));
        EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(client.exitCode(), 0);
        EXPECT_FALSE(QFileInfo::exists(opened.fileName()));
        EXPECT_FALSE(QFileInfo::exists(folder));
    }
}

} // namespace
