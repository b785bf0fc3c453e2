#pragma once
// The icons, owned by the database manager: the application's own and the
// custom ones users add, kept as PNG on the server and cached here under
// "Icon<n>". The manager's icon methods forward here.
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
    int insert(int* iconIndex, const QByteArray& png);

private:
    TVXDataBase& mDatabase;
    TVXIconCache mIcons;
};
