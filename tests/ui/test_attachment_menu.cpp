// The attachment menu and the save panel's name rule, without a store.
#include <gtest/gtest.h>

#include "app/attachments/BMAttachmentDownloadPanelDelgeate.h"
#include "app/BMController.h"
#include "platform/ui/ProcessLauncher.h"
#include "store/TVXDataBase.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QUrl>

namespace {

TEST(AttachmentSaveName, TheRequiredExtensionIsAddedOnlyWhenMissing)
{
    BMAttachmentDownloadPanelDelgeate helper;
    helper.setRequiredFileExtension(QStringLiteral("pdf"));
    EXPECT_EQ(helper.panelUserEnteredFilename("statement", true), QStringLiteral("statement.pdf"));
    EXPECT_EQ(helper.panelUserEnteredFilename("statement.pdf", true), QStringLiteral("statement.pdf"));
    EXPECT_EQ(helper.panelUserEnteredFilename("statement.PDF", true), QStringLiteral("statement.PDF"));
    EXPECT_EQ(helper.panelUserEnteredFilename("statement.txt", true), QStringLiteral("statement.txt.pdf"));
    EXPECT_EQ(helper.panelUserEnteredFilename("statement", false), QStringLiteral("statement"));
    // A dot in a folder's name is not the file's extension.
    EXPECT_EQ(helper.panelUserEnteredFilename("/home/a/v1.pdf/statement", true),
              QStringLiteral("/home/a/v1.pdf/statement.pdf"));
    helper.setRequiredFileExtension(QString());
    EXPECT_EQ(helper.panelUserEnteredFilename("README", true), QStringLiteral("README"));
}

class Launches : public platform::ProcessLauncher {
public:
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        calls << (QStringList{program} + arguments);
        return true;
    }
    int execute(const QString&, const QStringList&, int) override { return 0; }
    QList<QStringList> calls;
};

class AttachmentMenu : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        mSavedDataDirs = qgetenv("XDG_DATA_DIRS");
        mSavedDataHome = qgetenv("XDG_DATA_HOME");
        mSavedConfigHome = qgetenv("XDG_CONFIG_HOME");
        QDir(home.path()).mkpath("apps/applications");
        QDir(home.path()).mkpath("config");
        // The desktop's MIME database stays reachable; the applications are ours alone.
        QDir(home.path()).mkpath("mimeonly");
        QFile::link(QStringLiteral("/usr/share/mime"), home.filePath("mimeonly/mime"));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(home.filePath("apps")) + ':'
                                     + QFile::encodeName(home.filePath("mimeonly")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("nodata")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
        launcher = std::make_shared<Launches>();
        previous = platform::setProcessLauncher(launcher);
    }
    void TearDown() override
    {
        platform::setProcessLauncher(previous);
        restore("XDG_DATA_DIRS", mSavedDataDirs);
        restore("XDG_DATA_HOME", mSavedDataHome);
        restore("XDG_CONFIG_HOME", mSavedConfigHome);
    }
    static void restore(const char* name, const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    void write(const QString& relative, const QByteArray& bytes)
    {
        QFile file(home.filePath(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir home;
    std::shared_ptr<Launches> launcher;
    std::shared_ptr<platform::ProcessLauncher> previous;
    TVXDataBase database;

private:
    QByteArray mSavedDataDirs, mSavedDataHome, mSavedConfigHome;
};

TEST_F(AttachmentMenu, OpenWithListsTheDefaultFirstThenTheOthers)
{
    write("apps/applications/reader.desktop",
          "[Desktop Entry]\nType=Application\nName=Reader\nExec=reader %f\nMimeType=text/plain;\n");
    write("apps/applications/pad.desktop",
          "[Desktop Entry]\nType=Application\nName=Pad\nExec=pad --open %u\nMimeType=text/plain;\n");
    // A program that needs a terminal would start without a window: not offered.
    write("apps/applications/con.desktop",
          "[Desktop Entry]\nType=Application\nName=Con\nExec=con %f\nTerminal=true\nMimeType=text/plain;\n");
    write("config/mimeapps.list", "[Default Applications]\ntext/plain=reader.desktop\n");
    write("note.txt", "hello");
    const QString file = home.filePath("note.txt");

    BMController controller(&database);
    std::unique_ptr<QMenu> menu(controller.attachmentCommands().attachmentMenuForFile(file));
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Open With"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("Save As"));
    EXPECT_EQ(items[1]->data().toString(), file);
    QMenu* submenu = items[0]->menu();
    ASSERT_NE(submenu, nullptr);
    const QList<QAction*> apps = submenu->actions();
    ASSERT_EQ(apps.size(), 3);
    EXPECT_EQ(apps[0]->text(), QStringLiteral("Reader (default)"));
    EXPECT_TRUE(apps[1]->isSeparator());
    EXPECT_EQ(apps[2]->text(), QStringLiteral("Pad"));
    EXPECT_EQ(apps[2]->toolTip(), home.filePath("apps/applications/pad.desktop"));

    apps[2]->trigger();
    ASSERT_EQ(launcher->calls.size(), 1);
    EXPECT_EQ(launcher->calls[0],
              QStringList({"pad", "--open", QString::fromUtf8(QUrl::fromLocalFile(file).toEncoded())}));
}

} // namespace
