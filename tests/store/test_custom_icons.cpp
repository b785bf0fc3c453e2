// Icons: the built-in set, custom icons stored by one client and loaded by
// another, distinct numbers for icons added at the same moment, and the
// notice of each new icon on the main thread.
#include "platform/core/MainThread.h"
#include "platform/core/NotificationCenter.h"
#include "support/RecordFixture.h"

#include <QCoreApplication>
#include <QImage>

#include <atomic>
#include <mutex>
#include <thread>

using namespace teststore;

namespace {

using CustomIcon = RecordFixture;

QImage picture(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

QByteArray iconPNG(QColor colour) { return TVXIconsAccess::iconPNGForPicture(picture(60, 60, colour)); }

// Collects "ExternalIconCreated" notices and where they ran.
struct IconNotices {
    IconNotices()
    {
        token = platform::NotificationCenter::defaultCenter().addObserver(
            TVXIconsAccess::kExternalIconCreatedNotification, [this](const platform::Notification& notice) {
                std::lock_guard lock(mutex);
                numbers << std::any_cast<int>(notice.object);
                if (!platform::isMainThread())
                    offMainThread = true;
            });
    }
    ~IconNotices() { platform::NotificationCenter::defaultCenter().removeObserver(token); }
    QList<int> sorted()
    {
        std::lock_guard lock(mutex);
        QList<int> copy = numbers;
        std::sort(copy.begin(), copy.end());
        return copy;
    }

    platform::NotificationCenter::Token token = 0;
    std::mutex mutex;
    QList<int> numbers;
    std::atomic<bool> offMainThread{false};
};

} // namespace

TEST(CustomIconCanvas, PicturesAreFittedIntoTheSquareAndCentred)
{
    EXPECT_EQ(TVXIconsAccess::iconRectForPictureSize(QSizeF(100, 50)), QRectF(0, 12, 48, 24));
    EXPECT_EQ(TVXIconsAccess::iconRectForPictureSize(QSizeF(50, 100)), QRectF(12, 0, 24, 48));
    EXPECT_EQ(TVXIconsAccess::iconRectForPictureSize(QSizeF(7, 7)), QRectF(0, 0, 48, 48));
    EXPECT_TRUE(TVXIconsAccess::iconRectForPictureSize(QSizeF(0, 5)).isEmpty());

    const QImage icon = QImage::fromData(TVXIconsAccess::iconPNGForPicture(picture(100, 50, Qt::red)), "PNG");
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(48, 48));
    EXPECT_EQ(qAlpha(icon.pixel(24, 5)), 0);
    EXPECT_EQ(icon.pixelColor(24, 24), QColor(Qt::red));
    EXPECT_EQ(qAlpha(icon.pixel(24, 42)), 0);
    EXPECT_TRUE(TVXIconsAccess::iconPNGForPicture(QImage()).isEmpty());
}

TEST(BuiltInIcons, AreTheApplicationsOwnAtDisplaySize)
{
    TVXDataBase db;
    for (int n = 1; n <= TVXIconsAccess::kMaxIcons; ++n) {
        const QImage image = db.icons().getImageFromIconIndex(n);
        ASSERT_FALSE(image.isNull()) << n;
        EXPECT_EQ(image.deviceIndependentSize(), QSizeF(24, 24)) << n;
        EXPECT_EQ(image.text("Name"), QStringLiteral("Icon%1").arg(n));
        EXPECT_TRUE(db.icons().hasImageForIconIndex(n));
    }
    EXPECT_NE(db.icons().getImageFromIconIndex(1), db.icons().getImageFromIconIndex(2));
    for (const int n : {0, -1, 64, 999, 1000, 1001}) {
        EXPECT_TRUE(db.icons().getImageFromIconIndex(n).isNull()) << n;
        EXPECT_FALSE(db.icons().hasImageForIconIndex(n)) << n;
    }
}

TEST_F(CustomIcon, NumbersStartAt1001AndOtherClientsLoadThem)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    int number = 0;
    ASSERT_EQ(alice.icons().insertCustomIconWithIndex(&number, iconPNG(Qt::blue)), kTVXDone);
    EXPECT_EQ(number, 1001);
    ASSERT_EQ(alice.icons().insertCustomIconWithIndex(&number, iconPNG(Qt::green)), kTVXDone);
    EXPECT_EQ(number, 1002);
    EXPECT_EQ(alice.icons().insertCustomIconWithIndex(&number, "not a picture"), kTVXStatementFailed);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.CUSTOMICONTABLE"), "2");

    const QImage mine = alice.icons().getImageFromIconIndex(1001);
    ASSERT_FALSE(mine.isNull());
    EXPECT_EQ(mine.deviceIndependentSize(), QSizeF(24, 24));
    EXPECT_EQ(mine.text("Name"), "Icon1001");

    // Custom types naming a stored icon keep it; one naming no icon gets the default.
    seed->record({"00000000000000B1", G1, T1, {"with icon"}, {}, false, true});
    seed->customType("00000000000000B1", 1002, 0, {"Host"});
    seed->record({"00000000000000B2", G1, T1, {"without"}, {}, false, true});
    seed->customType("00000000000000B2", 1005, 0, {"Host"});

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_EQ(bob.icons().mCustomIcons().size(), 2);
    EXPECT_EQ(bob.icons().mCustomIcons().value("Icon1002").pixelColor(24, 24), QColor(Qt::green));
    EXPECT_EQ(bob.icons().getImageFromIconIndex(1002).deviceIndependentSize(), QSizeF(24, 24));
    EXPECT_EQ(bob.caches().mRecords().value("00000000000000B1")->mRecordCustomType()->mTypeIconID(), 1002);
    EXPECT_EQ(bob.caches().mRecords().value("00000000000000B2")->mRecordCustomType()->mTypeIconID(), kDefaultIconID);

    // A first load reads the icons before the records too.
    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again, "bob", "bob-pw"), kTVXDone);
    EXPECT_EQ(again.caches().mRecords().value("00000000000000B1")->mRecordCustomType()->mTypeIconID(), 1002);
}

TEST_F(CustomIcon, EachNewIconIsAnnouncedOnTheMainThread)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const QString wide = files.filePath("wide.png");
    ASSERT_TRUE(picture(100, 50, Qt::red).save(wide));
    const QString text = writeFile("notes.txt", "no picture here");

    IconNotices notices;
    runTogether({[&] { alice.icons().addCustomIconsFromImages({text, wide, files.filePath("missing.png")}); }});
    EXPECT_EQ(notices.sorted(), QList<int>{1001});
    EXPECT_FALSE(notices.offMainThread);
    // The stored icon is the picture fitted into the square.
    const QImage stored = alice.icons().mCustomIcons().value("Icon1001");
    EXPECT_EQ(stored.size(), QSize(48, 48));
    EXPECT_EQ(qAlpha(stored.pixel(24, 5)), 0);
    EXPECT_EQ(stored.pixelColor(24, 24), QColor(Qt::red));
}

TEST_F(CustomIcon, TwoClientsAddingAtOnceGetDistinctNumbers)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    QStringList alicePictures;
    QStringList bobPictures;
    for (int i = 0; i < 5; ++i) {
        const QString a = files.filePath(QStringLiteral("a%1.png").arg(i));
        const QString b = files.filePath(QStringLiteral("b%1.png").arg(i));
        ASSERT_TRUE(picture(40 + i, 40, QColor(10 * i, 0, 200)).save(a));
        ASSERT_TRUE(picture(40, 40 + i, QColor(200, 10 * i, 0)).save(b));
        alicePictures << a;
        bobPictures << b;
    }

    IconNotices notices;
    runTogether({[&] { alice.icons().addCustomIconsFromImages(alicePictures); },
                [&] { bob.icons().addCustomIconsFromImages(bobPictures); }});

    QList<int> expected;
    for (int n = 1001; n <= 1010; ++n)
        expected << n;
    EXPECT_EQ(notices.sorted(), expected);
    EXPECT_FALSE(notices.offMainThread);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(DISTINCT ICONINDEX) FROM tolvanexdb.CUSTOMICONTABLE"), "10");
    EXPECT_EQ(alice.icons().mCustomIcons().size(), 5);
    EXPECT_EQ(bob.icons().mCustomIcons().size(), 5);

    ASSERT_EQ(alice.reloadDatabase(), kTVXDone);
    EXPECT_EQ(alice.icons().mCustomIcons().size(), 10);
}

TEST_F(CustomIcon, TheImportSharesTheConnectionWithTheMainThread)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    QStringList pictures;
    for (int i = 0; i < 8; ++i) {
        pictures << files.filePath(QStringLiteral("p%1.png").arg(i));
        ASSERT_TRUE(picture(30 + i, 30, QColor(0, 20 * i, 100)).save(pictures.last()));
    }

    // The main thread keeps storing records while the worker stores icons
    // over the same connection.
    IconNotices notices;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        alice.icons().addCustomIconsFromImages(pictures);
        done = true;
    });
    QStringList added;
    while (!done.load() || added.size() < 5) {
        auto record = newRecord(alice, {QStringLiteral("r%1").arg(added.size())});
        ASSERT_EQ(alice.addRecord(record), kTVXDone);
        alice.updateRecordViewCountForRecord(record->mRecordUID());
        added << record->mRecordUID();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    worker.join();
    QCoreApplication::processEvents();

    EXPECT_EQ(notices.sorted().size(), 8);
    EXPECT_EQ(alice.icons().mCustomIcons().size(), 8);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.CUSTOMICONTABLE"), "8");
    for (const QString& id : added)
        EXPECT_EQ(stored("VIEWCOUNT", "RECORDTABLE", id), "1") << id.toStdString();
    EXPECT_FALSE(alice.isConnectionLostHandlerOn());
}
