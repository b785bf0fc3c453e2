// Icons: the application's own (resources ":/icons/IconN.png") and the custom
// ones users add, stored as PNG on the server and numbered from 1001.
#include "store/personal/IconStore.h"

#include "platform/core/MainThread.h"
#include "platform/core/NotificationCenter.h"
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/session/ReadAhead.h"
#include "store/session/StoreSession.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QBuffer>
#include <QFile>

#include <vector>
#include <QPainter>

#include <algorithm>

namespace {

// Numbers tried before an icon is given up: each try follows a number another
// client took at the same moment.
constexpr int kIconNumberTries = 50;

// A number someone else took first: on one server a duplicate key, on a
// cluster the losing side of a certification conflict (or a lock wait).
bool numberTakenMeanwhile(const sql::SQLException& e)
{
    const int number = e.getErrorCode();
    return number == 1062 || number == 1213 || number == 1205;
}

// Icons above this number are custom ones, looked up in the cache.
constexpr int kLastBuiltInName = 999;

const QString kImageNameKey = QStringLiteral("Name");

using tvxsql::noConnection;

QString builtInIconPath(int iconIndex) { return QStringLiteral(":/icons/Icon%1.png").arg(iconIndex); }

} // namespace

QString TVXIconsAccess::iconName(int iconIndex) { return QStringLiteral("Icon%1").arg(iconIndex); }

// The manager's methods of the icons.
QImage TVXIconsAccess::getImageFromIconIndex(int iconIndex) const { return mIcons->displayImage(iconIndex); }
bool TVXIconsAccess::hasImageForIconIndex(int iconIndex) const { return mIcons->hasImage(iconIndex); }
const TVXIconCache& TVXIconsAccess::mCustomIcons() const { return mIcons->cache(); }
TVXIconCache& TVXIconsAccess::mCustomIcons() { return mIcons->cache(); }
void TVXIconsAccess::getExternalIcons() { mIcons->load(); }
TVXResult TVXIconsAccess::insertCustomIconWithIndex(int* iconIndex, const QByteArray& png)
{
    return mIcons->insert(iconIndex, png);
}

// --- looking up -------------------------------------------------------------------

QImage TVXIconStore::image(int iconIndex) const
{
    if (iconIndex <= kLastBuiltInName)
        return iconIndex >= 1 ? QImage(builtInIconPath(iconIndex)) : QImage();
    return mIcons.value(TVXIconsAccess::iconName(iconIndex));
}

QImage TVXIconStore::displayImage(int iconIndex) const
{
    QImage image = this->image(iconIndex);
    if (image.isNull())
        return image;
    // Shown at 24 x 24 points; the pixels stay, for sharp drawing on dense screens.
    if (iconIndex > kLastBuiltInName || image.width() > TVXIconsAccess::kIconDisplaySize)
        image.setDevicePixelRatio(qreal(image.width()) / TVXIconsAccess::kIconDisplaySize);
    image.setText(kImageNameKey, TVXIconsAccess::iconName(iconIndex));
    return image;
}

bool TVXIconStore::hasImage(int iconIndex) const
{
    if (iconIndex <= kLastBuiltInName) {
        // The built-in set never changes while the program runs: look once.
        static const std::vector<bool> builtIn = [] {
            std::vector<bool> present(kLastBuiltInName + 1, false);
            for (int n = 1; n <= kLastBuiltInName; ++n)
                present[n] = QFile::exists(builtInIconPath(n));
            return present;
        }();
        return iconIndex >= 1 && builtIn[iconIndex];
    }
    return mIcons.contains(TVXIconsAccess::iconName(iconIndex));
}

// --- loading ----------------------------------------------------------------------

void TVXIconStore::load()
{
    if (mDatabase.isDataReloading())
        mIcons.clear();
    const auto guard = mDatabase.lockConnection();
    sql::Connection* connection = mDatabase.connection();
    if (!connection)
        throw noConnection();
    const tvxsql::Rows rs = mDatabase.readAhead().rows(*connection, kQueryIcons);
    while (rs->next()) {
        QImage image = QImage::fromData(tvxsql::blobColumn(*rs, 2));
        if (image.isNull())
            continue;
        const QString name = TVXIconsAccess::iconName(rs->getInt(1));
        image.setText(kImageNameKey, name);
        mIcons.insert(name, image);
    }
}

// --- storing ----------------------------------------------------------------------

TVXResult TVXIconStore::insert(int* iconIndex, const QByteArray& png)
{
    QImage image = QImage::fromData(png, "PNG");
    if (image.isNull())
        return kTVXStatementFailed;

    int number = 0;
    const TVXResult code = mDatabase.runOnConnection([&](sql::Connection& connection) {
        // The next free number, by a plain insert: a table lock is not shared
        // by a cluster's nodes, and an insert never takes a stored picture's place.
        std::unique_ptr<sql::Statement> plain(connection.createStatement());
        std::unique_ptr<sql::PreparedStatement> insert(connection.prepareStatement(kInsertCustomIconTable));
        const bool inTransaction = !connection.getAutoCommit();
        for (int attempt = 0; attempt < kIconNumberTries; ++attempt) {
            int highest = 0;
            {
                std::unique_ptr<sql::ResultSet> rs(plain->executeQuery(SelMaxIconTblval));
                if (rs->next() && !rs->isNull(1))
                    highest = rs->getInt(1);
            }
            // Never below the first custom number, whatever rows the table holds.
            number = std::max({highest, number, TVXIconsAccess::kFirstCustomIcon - 1}) + 1;
            const auto data = tvxsql::blobStream(png);
            insert->setInt(1, number);
            insert->setBlob(2, data->stream());
            try {
                insert->executeUpdate();
                return kTVXDone;
            } catch (const sql::SQLException& e) {
                // Inside someone's transaction a conflict has undone more than this row.
                if (!numberTakenMeanwhile(e) || (inTransaction && e.getErrorCode() != 1062))
                    throw;
            }
        }
        return kTVXStatementFailed;
    });
    if (code != kTVXDone)
        return code;

    const QString name = TVXIconsAccess::iconName(number);
    image.setText(kImageNameKey, name);
    // The main thread reads the cache while the icon worker runs.
    platform::performOnMainThreadAndWait([this, &name, &image] { mIcons.insert(name, image); });
    if (iconIndex)
        *iconIndex = number;
    return kTVXDone;
}

QRectF TVXIconsAccess::iconRectForPictureSize(const QSizeF& size)
{
    if (size.width() <= 0 || size.height() <= 0)
        return QRectF();
    const qreal sx = std::min<qreal>(1.0, size.width() / size.height());
    const qreal sy = std::min<qreal>(1.0, size.height() / size.width());
    const qreal half = kIconCanvasSize / 2.0;
    return QRectF(half * (1 - sx), half * (1 - sy), kIconCanvasSize * sx, kIconCanvasSize * sy);
}

QByteArray TVXIconsAccess::iconPNGForPicture(const QImage& picture)
{
    if (picture.isNull())
        return QByteArray();
    QImage canvas(kIconCanvasSize, kIconCanvasSize, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(iconRectForPictureSize(picture.size()), picture, QRectF(picture.rect()));
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!canvas.save(&buffer, "PNG"))
        return QByteArray();
    return png;
}

void TVXIconStore::insertPictures(const QStringList& paths)
{
    for (const QString& path : paths) {
        const QByteArray png = TVXIconsAccess::iconPNGForPicture(QImage(path));
        if (png.isEmpty())
            continue;
        int number = 0;
        // Announced with the guard released: the notice waits for the main thread.
        if (insert(&number, png) == kTVXDone)
            platform::NotificationCenter::defaultCenter().post(TVXIconsAccess::kExternalIconCreatedNotification,
                                                               number);
    }
    mDatabase.endClientThreadState();
}

void TVXIconsAccess::addCustomIconsFromImages(const QStringList& paths) { mIcons->insertPictures(paths); }
