#pragma once
// The pane beside the record lists that shows the selected record: a header
// with the type's icon and the first value as title (a link when it is a web
// address), and a rounded box holding the record's rows (BMTextTable). A
// double click edits the record through the delegate. Laid out by setFrames,
// the same view draws one record for printing.

#include "store/session/ResultCodes.h"
#include <QColor>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class BMDetailsView;
class BMGroup;
class BMTextTable;
class BMTextTableButton;
class QContextMenuEvent;
class QMenu;
class QPainter;
class QScrollArea;
class TVXIconsAccess;
class TVXRecord;
class TVXRecordWriter;
class TVXStoreCaches;
class TVXType;

// What the pane asks of the main window's controller.
class BMDetailsViewDelegate {
public:
    virtual ~BMDetailsViewDelegate() = default;
    // The pane's context menu (the record context menu); null for none.
    virtual QMenu* extendMenu(QContextMenuEvent* event, BMDetailsView* view) = 0;
    virtual void deleteSelected() = 0;
    // The pane's sheet has ended: the main window's tables (and, through
    // them, the pane) show what the store announced meanwhile.
    virtual void showStoredChanges() = 0;
    // The record selected in the current view, or null.
    virtual std::shared_ptr<TVXRecord> itemPropertiesForTableViewSelectedRow() = 0;
    // Record permission bits in the group; shows its own refusal and answers false.
    virtual bool checkForRecordPermissionFor(uint16_t mask, const BMGroup* group) = 0;
    // Runs the record details sheet on the record. `operation` goes in as 1
    // (edit) and comes back as the sheet's: 1 edited, 2 duplicated, 3 delete.
    // The record to store (the edited one, or the duplicate), or null when cancelled.
    virtual std::shared_ptr<TVXRecord> runDetailsSheet(const std::shared_ptr<TVXRecord>& record, int& operation) = 0;
    // The same, with the record stored before the sheet closes: `store`
    // (record, operation: the store's code) writes and tells no one, `report`
    // then tells the user of a failure. A sheet that can keep its input on a
    // failure overrides this (and may store behind the window); by default the
    // record is stored once the sheet has closed.
    using RecordStorer = std::function<TVXResult(const std::shared_ptr<TVXRecord>& record, int operation)>;
    using StoreReport = std::function<void(TVXResult code)>;
    virtual std::shared_ptr<TVXRecord> runDetailsSheet(const std::shared_ptr<TVXRecord>& record, int& operation,
                                                       const RecordStorer& store, const StoreReport& report)
    {
        auto result = runDetailsSheet(record, operation);
        if (result && store)
            report(store(result, operation));
        return result;
    }
};

// The double click's work: edit, duplicate or delete the selected record
// through the sheet and store the outcome. Returns the store's result code
// (0 when nothing was stored).
TVXResult editRecordFromDetailsPane(BMDetailsViewDelegate& delegate, TVXRecordWriter& writer);
// Stores what the sheet handed back for `operation` (1 replace, 2 add as a
// copy of `selected`, its attachment row included); the store's code.
TVXResult storeRecordFromPane(TVXRecordWriter& writer, const TVXRecord& selected, const std::shared_ptr<TVXRecord>& result,
                              int operation);

// The type that governs a record's fields: its own custom type, else its type.
std::shared_ptr<TVXType> governingTypeOfRecord(const TVXRecord& record);

class BMDetailsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kInset = 10;
    static constexpr int kHeaderHeight = 60;
    static constexpr int kIconSize = 24;
    static inline const QString kMaskedText = QStringLiteral("******");

    // Over the store's parts it reads and writes; a null part is the shared store's.
    explicit BMDetailsView(QWidget* parent = nullptr, TVXStoreCaches* caches = nullptr, TVXIconsAccess* icons = nullptr,
                           TVXRecordWriter* writer = nullptr);
    // Over one store that has all three parts.
    template <class Store>
    BMDetailsView(QWidget* parent, Store* store) : BMDetailsView(parent, &store->caches(), &store->icons(), store)
    {
    }
    ~BMDetailsView() override;

    QColor backgroundColor() const { return mBackgroundColor; }
    void setBackgroundColor(const QColor& color);
    QImage headerImage() const { return mHeaderImage; }
    void setHeaderImage(const QImage& image);
    QString headerTitle() const { return mHeaderTitle; }
    void setHeaderTitle(const QString& title);
    const std::shared_ptr<TVXRecord>& detailInfo() const { return mDetailInfo; }
    void setDetailInfo(std::shared_ptr<TVXRecord> record);
    bool shouldMask() const { return mShouldMask; }
    void setShouldMask(bool mask);
    void setDelegate(BMDetailsViewDelegate* delegate) { mDelegate = delegate; }
    BMDetailsViewDelegate* delegate() const { return mDelegate; }

    // Header title, header image (the governing type's icon) and contents at once.
    void showRecord(const std::shared_ptr<TVXRecord>& record);
    // Title "", no record, no image.
    void resetDetailInfo();

    // Where the attachment menu opens, in the table's coordinates.
    void setAttachmentMenuOrigin(const QPoint& origin);
    QPoint attachmentMenuOrigin() const { return mAttachmentMenuOrigin; }
    // Shows the menu at once (it is not owned; it may delete itself when closed).
    void setAttachmentMenu(QMenu* menu);
    QMenu* attachmentMenu() const { return mAttachmentPopup; }

    // Puts the text on the general pasteboard.
    void copyField(const QString& title);

    // The title as drawn ("******" when masked) and whether it is a link.
    QString displayedTitle() const;
    bool titleIsLink() const;
    QRectF titleRect() const { return mTitleRect; }

    BMTextTable* infoView() const { return mInfoView; }
    QScrollArea* infoViewScroller() const { return mInfoViewScroller; }
    BMTextTableButton* copyImageButton() const { return mCopyImageButton; }

    // Print layout: the rows laid out at the view's width and the view grown
    // to show all of them.
    void setFrames();
    // Draws the whole view as laid out by setFrames (no screen background).
    void drawForPrint(QPainter& painter);
    // Where a printed page may end, in the view's coordinates.
    QList<qreal> printBreaks() const;

signals:
    // After a double click was handled (the record may have changed).
    void recordEdited();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void redrawView();
    // Fills the table from the record at the table's current width.
    void drawDetailInfo();
    void drawChrome(QPainter& painter, bool toScreen);
    void drawHeader(QPainter& painter, const QRectF& band);
    QRectF headerBand() const;
    QRectF infoBox() const;
    QFont titleFont() const;
    void placeTitle();

    QColor mBackgroundColor = Qt::white;
    QImage mHeaderImage;
    QString mHeaderTitle;
    std::shared_ptr<TVXRecord> mDetailInfo;
    BMTextTable* mInfoView = nullptr;
    QScrollArea* mInfoViewScroller = nullptr;
    bool mShouldMask = false;
    QRectF mTitleRect;
    BMDetailsViewDelegate* mDelegate = nullptr;
    BMTextTableButton* mCopyImageButton = nullptr;
    QPointer<QMenu> mAttachmentPopup;
    QPoint mAttachmentMenuOrigin{50, 10};
    TVXStoreCaches* mCaches = nullptr;
    TVXIconsAccess* mIcons = nullptr;
    TVXRecordWriter* mWriter = nullptr;
    bool mPrintLayout = false;
};
