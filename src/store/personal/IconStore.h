#pragma once
// The icons, owned by the database manager: the application's own and the
// custom ones users add, kept as PNG on the server and cached here under
// "Icon<n>". The manager's icon methods forward here. Of the manager's own:
// getImageFromIconIndex gives the image at display size (24 x 24 points, its
// pixels kept through the device pixel ratio), null when there is none;
// addCustomIconsFromImages is the icon-import worker's body: each picture
// fitted into a 48 x 48 square (iconRectForPictureSize: proportions kept,
// centred), stored as PNG (iconPNGForPicture) under the next free number, which
// two clients cannot both take, and announced with
// kExternalIconCreatedNotification on the main thread; files that give no
// picture are skipped.
#include "store/StoreTypes.h"

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <memory>

class TVXIconStore {
public:
    explicit TVXIconStore(TVXStoreSession& database) : mDatabase(database) {}

    const TVXIconCache& cache() const { return mIcons; }
    TVXIconCache& cache() { return mIcons; }
    // The icon's stored image, built-in or custom; null when there is none.
    QImage image(int iconIndex) const;
    // The image at display size, named after the icon.
    QImage displayImage(int iconIndex) const;
    bool hasImage(int iconIndex) const;
    // Refills the cache from the store (emptied first during a reload).
    // Server errors reach the caller.
    void load();
    // Stores one icon under the next free number; *iconIndex receives it. 0, or 3.
    TVXResult insert(int* iconIndex, const QByteArray& png);
    // The icon-import worker's body (see above); ends the worker's client-thread state.
    void insertPictures(const QStringList& paths);

private:
    TVXStoreSession& mDatabase;
    TVXIconCache mIcons;
};

// The manager holds one of these: its calls of the icons are declared here,
// beside the cache they reach.
class TVXIconsAccess {
public:
    static constexpr int kMaxIcons = 63; // built-in 1..63
    static constexpr int kFirstCustomIcon = 1001;
    static constexpr int kIconDisplaySize = 24; // points
    static constexpr int kIconCanvasSize = 48;  // stored custom icons
    // Posted on the main thread for each icon stored, with its number (int).
    static inline const QString kExternalIconCreatedNotification = QStringLiteral("ExternalIconCreated");
    static QString iconName(int iconIndex);
    // The custom icons, keyed "Icon%d"; one thread at a time, as the caches.
    const TVXIconCache& mCustomIcons() const;
    TVXIconCache& mCustomIcons();
    bool hasImageForIconIndex(int iconIndex) const; // built-in 1..63, custom from 1001
    QImage getImageFromIconIndex(int iconIndex) const;
    void getExternalIcons();
    TVXResult insertCustomIconWithIndex(int* iconIndex, const QByteArray& png);
    static QRectF iconRectForPictureSize(const QSizeF& size);
    static QByteArray iconPNGForPicture(const QImage& picture);
    void addCustomIconsFromImages(const QStringList& paths);

    explicit TVXIconsAccess(TVXStoreSession& store) : mIcons(std::make_unique<TVXIconStore>(store)) {}

private:
    friend class TVXDataBase;
    std::unique_ptr<TVXIconStore> mIcons;
};
