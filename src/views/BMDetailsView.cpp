#include "views/BMDetailsView.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Workspace.h"
#include "store/personal/IconStore.h"
#include "store/writers/RecordWriter.h"
#include "store/session/ResultCodes.h"
#include "store/SharedStore.h"
#include "store/loading/StoreCaches.h"
#include "views/BandedPaint.h"
#include "views/BMTextTable.h"
#include "views/StoreFailureAlert.h"
#include "views/TextBlock.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kCopyButtonSize = 16;
constexpr int kTitleSideInset = 34;

QColor blendedWithWhite(const QColor& color, qreal fraction)
{
    const QColor c = color.toRgb();
    return QColor::fromRgbF(c.redF() * (1 - fraction) + fraction, c.greenF() * (1 - fraction) + fraction,
                            c.blueF() * (1 - fraction) + fraction, 1.0);
}

} // namespace

std::shared_ptr<TVXType> governingTypeOfRecord(const TVXRecord& record)
{
    if (record.mRecordCustomType())
        return record.mRecordCustomType();
    return record.mType();
}

TVXResult editRecordFromDetailsPane(BMDetailsViewDelegate& delegate, TVXRecordWriter& writer)
{
    const std::shared_ptr<TVXRecord> selected = delegate.itemPropertiesForTableViewSelectedRow();
    if (!selected)
        return kTVXDone;
    if (!delegate.checkForRecordPermissionFor(kPermissionEdit, selected->mGroup().get()))
        return kTVXDone;

    int operation = 1;
    // The answer may come behind the window, once the sheet waited for it.
    const auto code = std::make_shared<TVXResult>(kTVXDone);
    delegate.runDetailsSheet(
        selected, operation,
        [&writer, selected](const std::shared_ptr<TVXRecord>& result, int storedOperation) {
            return storeRecordFromPane(writer, *selected, result, storedOperation);
        },
        [code](TVXResult answered) {
            *code = answered;
            storealert::reportStoreFailure(answered);
        });
    if (operation == 3)
        delegate.deleteSelected();
    delegate.showStoredChanges();
    return *code;
}

TVXResult storeRecordFromPane(TVXRecordWriter& writer, const TVXRecord& selected, const std::shared_ptr<TVXRecord>& result,
                              int operation)
{
    if (result && operation == 2)
        return writer.addRecordCopyingAttachment(result, &selected);
    if (result && operation == 1)
        return writer.replaceRecord(result);
    return kTVXDone;
}

BMDetailsView::BMDetailsView(QWidget* parent, TVXStoreCaches* caches, TVXIconsAccess* icons, TVXRecordWriter* writer)
    : QWidget(parent), mDetailInfo(std::make_shared<TVXRecord>()), mCaches(caches ? caches : &sharedstore::caches()),
      mIcons(icons ? icons : &sharedstore::icons()), mWriter(writer ? writer : &sharedstore::recordWriter())
{
    setMouseTracking(true);
    setMinimumWidth(220);

    mInfoViewScroller = new QScrollArea(this);
    mInfoViewScroller->setFrameShape(QFrame::NoFrame);
    mInfoViewScroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mInfoViewScroller->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mInfoViewScroller->setWidgetResizable(false);
    mInfoViewScroller->setAutoFillBackground(false);
    mInfoViewScroller->viewport()->setAutoFillBackground(false);
    mInfoViewScroller->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));

    mInfoView = new BMTextTable;
    mInfoViewScroller->setWidget(mInfoView);
    // The rows lie directly on the rounded box (setWidget turns filling on).
    mInfoView->setAutoFillBackground(false);
    // Redraw the rows as they scroll, so that links and buttons follow.
    connect(mInfoViewScroller->verticalScrollBar(), &QScrollBar::valueChanged, mInfoView,
            [this] { mInfoView->update(); });

    mCopyImageButton = new BMTextTableButton(this);
    mCopyImageButton->setIcon(mInfoView->rowButton(0)->icon());
    mCopyImageButton->setGeometry(0, 0, 0, 0);
    mCopyImageButton->hide();

    setBackgroundColor(Qt::white);
}

BMDetailsView::~BMDetailsView() = default;

void BMDetailsView::setBackgroundColor(const QColor& color)
{
    mBackgroundColor = color;
    QPalette palette = mInfoViewScroller->palette();
    palette.setColor(QPalette::Window, blendedWithWhite(color, 0.75));
    mInfoViewScroller->setPalette(palette);
    update();
}

void BMDetailsView::setHeaderImage(const QImage& image)
{
    mHeaderImage = image;
    update();
}

void BMDetailsView::setHeaderTitle(const QString& title)
{
    mHeaderTitle = title;
    placeTitle();
    update();
}

void BMDetailsView::setDetailInfo(std::shared_ptr<TVXRecord> record)
{
    mDetailInfo = std::move(record);
    redrawView();
}

void BMDetailsView::setShouldMask(bool mask)
{
    if (mask == mShouldMask)
        return;
    mShouldMask = mask;
    redrawView();
}

void BMDetailsView::showRecord(const std::shared_ptr<TVXRecord>& record)
{
    if (!record) {
        resetDetailInfo();
        return;
    }
    mHeaderTitle = record->mValue1();
    QImage image;
    if (auto type = governingTypeOfRecord(*record))
        image = mIcons->getImageFromIconIndex(type->mTypeIconID());
    mHeaderImage = image;
    setDetailInfo(record);
}

void BMDetailsView::resetDetailInfo()
{
    mHeaderTitle = QString();
    mDetailInfo.reset();
    mHeaderImage = QImage();
    redrawView();
}

void BMDetailsView::setAttachmentMenuOrigin(const QPoint& origin)
{
    mAttachmentMenuOrigin = origin;
    update();
}

void BMDetailsView::setAttachmentMenu(QMenu* menu)
{
    mAttachmentPopup = menu;
    if (menu)
        menu->popup(mInfoView->mapToGlobal(mAttachmentMenuOrigin));
}

void BMDetailsView::copyField(const QString& title)
{
    platform::Pasteboard::generalPasteboard().setSecretString(title);
}

QString BMDetailsView::displayedTitle() const
{
    if (!mDetailInfo || mDetailInfo->mValue1().isEmpty())
        return QString();
    if (mShouldMask) {
        if (auto type = governingTypeOfRecord(*mDetailInfo); type && type->isFieldMasked(1))
            return kMaskedText;
    }
    return mHeaderTitle;
}

bool BMDetailsView::titleIsLink() const
{
    const QString shown = displayedTitle();
    return shown != kMaskedText && BMTextTable::isHyperLink(shown);
}

QRectF BMDetailsView::headerBand() const
{
    const QRectF inner = QRectF(rect()).adjusted(kInset, kInset, -kInset, -kInset);
    return QRectF(inner.left(), inner.top(), inner.width(), kHeaderHeight);
}

QRectF BMDetailsView::infoBox() const
{
    const QRectF inner = QRectF(rect()).adjusted(kInset, kInset, -kInset, -kInset);
    return QRectF(inner.left(), inner.top() + kHeaderHeight, inner.width(),
                  std::max<qreal>(inner.height() - kHeaderHeight, 0));
}

QFont BMDetailsView::titleFont() const
{
    QFont font(QStringLiteral("Helvetica"));
    font.setPixelSize(16);
    font.setBold(true);
    return font;
}

void BMDetailsView::placeTitle()
{
    const QString shown = displayedTitle();
    if (shown.isEmpty()) {
        mTitleRect = QRectF();
        mCopyImageButton->setGeometry(0, 0, 0, 0);
        mCopyImageButton->hide();
        return;
    }
    const QRectF band = headerBand().adjusted(kTitleSideInset, 0, -kTitleSideInset, 0);
    const QFontMetricsF metrics(titleFont());
    const qreal room = std::max<qreal>(band.width() - kCopyButtonSize - 6, 10);
    const qreal width = std::min(metrics.horizontalAdvance(shown), room);
    const qreal height = metrics.height();
    mTitleRect = QRectF(band.left(), band.center().y() - height / 2, width, height);
    mCopyImageButton->setTitle(mHeaderTitle);
    mCopyImageButton->setGeometry(static_cast<int>(mTitleRect.right() + 6),
                                  static_cast<int>(band.center().y() - kCopyButtonSize / 2.0), kCopyButtonSize,
                                  kCopyButtonSize);
    mCopyImageButton->setVisible(!mPrintLayout);
}

void BMDetailsView::drawDetailInfo()
{
    QFont userFont = mInfoView->font();
    if (mCaches->mCurrentUser())
        userFont = mCaches->mCurrentUser()->mTextFont();
    userFont = textblock::designFont(userFont);
    BMTextTable::Attributes attributes{userFont, Qt::black, 0};
    BMTextTable::Attributes noteAttributes{userFont, Qt::black, 2};
    mInfoView->setAttributes(attributes);
    mInfoView->setNoteAttributes(noteAttributes);
    // No stand-in record for an empty pane: making a record tells every
    // search entry to check its record again.
    if (!mDetailInfo)
        return;
    const TVXRecord& record = *mDetailInfo;
    const std::shared_ptr<TVXType> type = governingTypeOfRecord(record);

    const QString keyFormat = QStringLiteral("%1:");
    QString groupName;
    if (const auto& group = record.mGroup()) {
        const auto cached = mCaches->groupWithUID(group->mGroupUID());
        groupName = cached ? cached->mGroupName() : group->mGroupName();
    }
    mInfoView->setKey(keyFormat.arg(tr("Group")), BMTextTable::kGroupRow);
    mInfoView->setValue(groupName, BMTextTable::kGroupRow);
    mInfoView->setPasteboardString(groupName, BMTextTable::kGroupRow);

    int row = 1;
    for (int field = 2; field <= kNumberOfFields && row <= BMTextTable::kDateRow; ++field) {
        const QString& value = record.valueAtIndex(field - 1);
        if (value.isEmpty())
            continue;
        const QString name = type ? type->fieldAtIndex(field - 1).trimmed() : QString();
        mInfoView->setKey(keyFormat.arg(name), row);
        if (field == kNumberOfFields) { // the date gets its own row below
            ++row;
            continue;
        }
        if (mShouldMask && type && type->isFieldMasked(field)) {
            mInfoView->setValue(kMaskedText, row);
            mInfoView->setPasteboardString(QString(), row);
        } else {
            mInfoView->setValue(value, row);
            mInfoView->setPasteboardString(value, row);
        }
        ++row;
    }

    if (!record.mValue10().isEmpty()) {
        const QDateTime when = TVXRecord::dateFromModificationText(record.mValue10());
        const QString text = when.isValid() ? QLocale().toString(when.date(), QStringLiteral("MMMM dd,yyyy"))
                                            : record.mValue10();
        mInfoView->setKey(keyFormat.arg(tr("Date Mod")), BMTextTable::kDateRow);
        mInfoView->setValue(text, BMTextTable::kDateRow);
        mInfoView->setPasteboardString(text, BMTextTable::kDateRow);
    }
    if (record.mHasAttachment()) {
        mInfoView->setKey(keyFormat.arg(tr("Attachment")), BMTextTable::kAttachmentRow);
        mInfoView->setValue(record.mAttachmentName(), BMTextTable::kAttachmentRow);
    }
    if (!record.mNotes().isEmpty())
        mInfoView->setValue(record.mNotes(), BMTextTable::kNoteRow);
}

void BMDetailsView::redrawView()
{
    placeTitle();
    const QRectF box = infoBox();
    const QRect area = box.adjusted(10, 10, -10, -10).toAlignedRect();
    if (mPrintLayout) {
        update();
        return;
    }
    mInfoViewScroller->setGeometry(area);
    const int scrollerWidth = mInfoViewScroller->verticalScrollBar()->sizeHint().width();

    // Laid out first without the scroller; when the rows need more than the
    // visible height, again with it.
    int width = std::max(area.width(), 1);
    mInfoView->setIsPrintingView(false);
    mInfoView->resize(width, mInfoView->height());
    drawDetailInfo();
    bool scroller = mInfoView->totalHeight() > area.height();
    if (scroller) {
        width = std::max(area.width() - scrollerWidth, 1);
        mInfoView->resize(width, mInfoView->height());
        drawDetailInfo();
    }
    mInfoView->setScrollerVisible(scroller);
    const QSize size(width, std::max(mInfoView->totalHeight(), 1));
    if (mInfoView->size() != size) {
        mInfoView->resize(size);
        mInfoViewScroller->verticalScrollBar()->setValue(0);
    }
    mInfoView->layoutRows();
    mInfoView->update();
    update();
}

void BMDetailsView::setFrames()
{
    mPrintLayout = true;
    mCopyImageButton->hide();
    mInfoViewScroller->hide();
    const QRectF box = QRectF(rect()).adjusted(kInset, kInset + kHeaderHeight, -kInset, -kInset);
    const int tableWidth = std::max(static_cast<int>(box.width()) - 20, 1);
    mInfoView->setIsPrintingView(true);
    mInfoView->resize(tableWidth, 1);
    drawDetailInfo();
    const int tableHeight = mInfoView->totalHeight();
    mInfoView->resize(tableWidth, std::max(tableHeight, 1));
    resize(width(), 2 * kInset + kHeaderHeight + tableHeight + 20);
    placeTitle();
}

QList<qreal> BMDetailsView::printBreaks() const
{
    const qreal top = kInset + kHeaderHeight + 10;
    QList<qreal> breaks{top};
    for (qreal bottom : mInfoView->rowBottoms())
        breaks << top + bottom;
    return breaks;
}

void BMDetailsView::drawHeader(QPainter& painter, const QRectF& band)
{
    if (!mHeaderImage.isNull()) {
        const QRectF iconRect(band.left() + 10, band.center().y() - kIconSize / 2.0, kIconSize, kIconSize);
        painter.drawImage(iconRect, mHeaderImage);
    }
    const QString shown = displayedTitle();
    if (shown.isEmpty())
        return;
    QFont font = titleFont();
    QColor color = Qt::black;
    if (titleIsLink()) {
        font.setUnderline(true);
        color = Qt::blue;
    }
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    const QString elided = QFontMetricsF(font).elidedText(shown, Qt::ElideRight, mTitleRect.width() + 1);
    painter.drawText(mTitleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
    painter.restore();
}

void BMDetailsView::drawChrome(QPainter& painter, bool toScreen)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (toScreen)
        painter.fillRect(rect(), blendedWithWhite(mBackgroundColor, 0.75));

    const QRectF box = infoBox().adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath rounded;
    rounded.addRoundedRect(box, 10, 10);
    QColor stroke = QColor::fromRgbF(0.3, 0.3, 0.3, 0.95);
    QColor fill = QColor::fromRgbF(0.3, 0.3, 0.3, 0.15);
    painter.setPen(QPen(stroke, 1));
    painter.setBrush(fill);
    // The box is as tall as the pane: on screen it goes in bands, so that
    // the main thread does not wait for the raster engine's threads.
    if (toScreen)
        bmpaint::paintInBands(painter, rect(), [&] { painter.drawPath(rounded); });
    else
        painter.drawPath(rounded);

    drawHeader(painter, headerBand());

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::gray, 1));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void BMDetailsView::drawForPrint(QPainter& painter)
{
    painter.save();
    drawChrome(painter, false);
    painter.translate(kInset + 10, kInset + kHeaderHeight + 10);
    mInfoView->drawForRecordPrint(painter);
    painter.restore();
}

void BMDetailsView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawChrome(painter, true);
}

void BMDetailsView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!mPrintLayout)
        redrawView();
}

void BMDetailsView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && titleIsLink() && mTitleRect.contains(event->position()))
        platform::Workspace::openURL(QUrl(BMTextTable::linkAddress(mHeaderTitle), QUrl::TolerantMode));
    QWidget::mousePressEvent(event);
}

void BMDetailsView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && mDelegate) {
        (void)editRecordFromDetailsPane(*mDelegate, *mWriter); // a failure has been shown
        emit recordEdited();
    }
    QWidget::mouseDoubleClickEvent(event);
    update();
}

void BMDetailsView::mouseMoveEvent(QMouseEvent* event)
{
    if (titleIsLink() && mTitleRect.contains(event->position()))
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void BMDetailsView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!mDelegate || !mDetailInfo) {
        event->ignore();
        return;
    }
    if (QMenu* menu = mDelegate->extendMenu(event, this))
        menu->popup(event->globalPos());
    event->accept();
}
