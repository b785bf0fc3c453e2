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

class TVXIconStore {
public:
    explicit TVXIconStore(TVXDataBase& database) : mDatabase(database) {}

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

private:
    TVXDataBase& mDatabase;
    TVXIconCache mIcons;
};
