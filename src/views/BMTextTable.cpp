#include "views/BMTextTable.h"

#include "platform/core/NotificationCenter.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Workspace.h"
#include "views/DetailPaneImages.h"
#include "views/TextBlock.h"

#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include <algorithm>
#include <cmath>

BMTextTableButton::BMTextTableButton(QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setIconSize(QSize(14, 14));
    connect(this, &QToolButton::clicked, this, [this] {
        if (!m_title.isEmpty())
            platform::Pasteboard::generalPasteboard().setSecretString(m_title);
        emit titleClicked(this);
    });
}

void BMTextTableButton::setTitle(const QString& title)
{
    m_title = title;
}

BMTextTable::BMTextTable(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    mAttributes.font = font();
    mNoteAttributes.font = font();
    for (int row = 0; row < kNumberOfRows; ++row) {
        auto* button = new BMTextTableButton(this);
        button->setIcon(row == kAttachmentRow ? detailpane::viewAttachmentIcon() : detailpane::copyIcon());
        button->setGeometry(0, 0, 0, 0);
        button->hide();
        connect(button, &BMTextTableButton::titleClicked, this, &BMTextTable::extractAttachment);
        mColumn3Details[row] = button;
    }
}

void BMTextTable::setAttributes(const Attributes& attributes)
{
    for (int row = 0; row < kNumberOfRows; ++row) {
        mColumn1Details[row].clear();
        mColumn2Details[row].clear();
        mPasteboardStrings[row].clear();
        mRowHeights[row] = 0;
    }
    mAttributes = attributes;
}

void BMTextTable::setNoteAttributes(const Attributes& attributes)
{
    mNoteAttributes = attributes;
}

void BMTextTable::setKey(const QString& key, int row)
{
    if (row >= 0 && row < kNumberOfRows)
        mColumn1Details[row] = key.isNull() ? kNull : key;
}

void BMTextTable::setPasteboardString(const QString& text, int row)
{
    if (row >= 0 && row < kNumberOfRows)
        mPasteboardStrings[row] = text.isNull() ? kNull : text;
}

qreal BMTextTable::wrapWidth(int row) const
{
    if (row == kNoteRow)
        return width();
    qreal w = width() * 0.7;
    if (!mIsPrintingView)
        w -= kButtonSize + 10;
    return std::max<qreal>(w, 1);
}

qreal BMTextTable::lineHeightOfAttributes() const
{
    return std::max<qreal>(kMinimumRowHeight, textblock::lineHeight(mAttributes.font));
}

void BMTextTable::setValue(const QString& value, int row)
{
    if (row < 0 || row >= kNumberOfRows)
        return;
    mColumn2Details[row] = value;
    qreal needed = textblock::height(value, mNoteAttributes.font, wrapWidth(row), mNoteAttributes.lineSpacing);
    if (row != kNoteRow && !value.isEmpty()) {
        // A long field name wraps in the key column; the row makes room for it.
        const QString& key = mColumn1Details[row];
        if (!key.isEmpty() && key != kNull)
            needed = std::max(needed, textblock::height(key, mAttributes.font, std::max(width() * 0.3 - 6, 1.0)));
    }
    const int height = static_cast<int>(std::ceil(needed));
    if (height > mRowHeights[row])
        mRowHeights[row] = std::max(height, kMinimumRowHeight);
}

QString BMTextTable::key(int row) const
{
    return row >= 0 && row < kNumberOfRows ? mColumn1Details[row] : QString();
}

QString BMTextTable::value(int row) const
{
    return row >= 0 && row < kNumberOfRows ? mColumn2Details[row] : QString();
}

QString BMTextTable::pasteboardString(int row) const
{
    return row >= 0 && row < kNumberOfRows ? mPasteboardStrings[row] : QString();
}

int BMTextTable::rowHeight(int row) const
{
    return row >= 0 && row < kNumberOfRows ? mRowHeights[row] : 0;
}

int BMTextTable::totalHeight() const
{
    int total = 0;
    for (int h : mRowHeights)
        total += h;
    const int line = static_cast<int>(std::ceil(lineHeightOfAttributes()));
    if (!mIsPrintingView) {
        if (mRowHeights[kAttachmentRow] > 0)
            total += line;
        if (mRowHeights[kNoteRow] > 0)
            total += 2 * line;
    } else if (mRowHeights[kNoteRow] > 0) {
        total += 2 * static_cast<int>(std::ceil(textblock::lineHeight(mAttributes.font)));
    }
    return total;
}

bool BMTextTable::isHyperLink(const QString& text)
{
    return text.startsWith(QLatin1String("www.")) || text.startsWith(QLatin1String("http://"))
        || text.startsWith(QLatin1String("https://"));
}

QString BMTextTable::linkAddress(const QString& text)
{
    if (text.startsWith(QLatin1String("www.")))
        return QStringLiteral("http://%1").arg(text);
    return text;
}

BMTextTableButton* BMTextTable::rowButton(int row) const
{
    return row >= 0 && row < kNumberOfRows ? mColumn3Details[row] : nullptr;
}

void BMTextTable::extractAttachment(BMTextTableButton* sender)
{
    if (sender && sender == mColumn3Details[kAttachmentRow])
        platform::NotificationCenter::defaultCenter().post(kAddExtractAttachmentMenuNotification,
                                                           static_cast<QWidget*>(sender));
}

void BMTextTable::drawRows(QPainter* painter, bool toScreen)
{
    const bool placing = painter == nullptr;
    m_rowWidth = static_cast<int>(width() * 0.3);
    m_rowHeight = static_cast<int>(std::ceil(lineHeightOfAttributes()));
    if (placing) {
        mTrackingRectIDs.clear();
        mNextTrackingTag = 1;
    }

    qreal y = 0;
    for (int row = 0; row < kAttachmentRow + 1; ++row) {
        BMTextTableButton* button = mColumn3Details[row];
        const QString& value = mColumn2Details[row];
        if (value.isEmpty()) {
            if (placing) {
                button->setGeometry(0, 0, 0, 0);
                button->hide();
            }
            continue;
        }
        const qreal h = mRowHeights[row];
        const QRectF keyRect(0, y, std::max(m_rowWidth - 6, 1), h);
        const QRectF valueRect(m_rowWidth, y, wrapWidth(row), h);
        const bool link = isHyperLink(value);
        if (painter) {
            const QString& key = mColumn1Details[row];
            if (key != kNull)
                textblock::draw(*painter, keyRect, key, mAttributes.font, mAttributes.color);
            if (link) {
                QFont linkFont = mAttributes.font;
                linkFont.setUnderline(true);
                textblock::draw(*painter, valueRect, value, linkFont, QColor(Qt::blue));
            } else {
                textblock::draw(*painter, valueRect, value, mAttributes.font, mAttributes.color);
            }
        } else {
            if (link && toScreen) {
                const qreal w = std::min(textblock::oneLineWidth(value, mAttributes.font), valueRect.width());
                const qreal th = textblock::height(value, mAttributes.font, valueRect.width());
                mTrackingRectIDs.append({QRectF(valueRect.left(), y, w, th), value, mNextTrackingTag++});
            }
            const QString& copy = mPasteboardStrings[row];
            const bool hasCopy = !copy.isEmpty() && copy != kNull;
            button->setTitle(hasCopy ? copy : QString());
            button->setEnabled(hasCopy || row == kAttachmentRow);
            button->setGeometry(width() - kButtonSize, static_cast<int>(y), kButtonSize, kButtonSize);
            button->setVisible(toScreen && !mIsPrintingView);
        }
        y += h;
    }

    BMTextTableButton* noteButton = mColumn3Details[kNoteRow];
    if (placing) {
        noteButton->setGeometry(0, 0, 0, 0);
        noteButton->hide();
    }
    const QString& note = mColumn2Details[kNoteRow];
    if (!note.isEmpty() && painter) {
        const qreal line = textblock::lineHeight(mAttributes.font);
        y += line / 2; // a little air above the heading
        QFont heading = mAttributes.font;
        heading.setBold(true);
        textblock::draw(*painter, QRectF(0, y, width(), line), tr("%1:").arg(tr("Notes")), heading,
                        mAttributes.color);
        y += line;
        textblock::draw(*painter, QRectF(0, y, width(), mRowHeights[kNoteRow]), note, mNoteAttributes.font,
                        mNoteAttributes.color, mNoteAttributes.lineSpacing);
    }
}

void BMTextTable::layoutRows()
{
    drawRows(nullptr, !mIsPrintingView);
}

QList<qreal> BMTextTable::rowBottoms() const
{
    QList<qreal> bottoms;
    qreal y = 0;
    for (int row = 0; row <= kAttachmentRow; ++row) {
        if (mColumn2Details[row].isEmpty())
            continue;
        y += mRowHeights[row];
        bottoms << y;
    }
    return bottoms;
}

void BMTextTable::drawForRecordPrint(QPainter& painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    drawRows(&painter, false);
    painter.restore();
}

void BMTextTable::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    drawRows(&painter, true);
}

void BMTextTable::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutRows();
}

void BMTextTable::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        for (const TrackingRect& tracking : std::as_const(mTrackingRectIDs)) {
            if (tracking.rect.contains(event->position())) {
                platform::Workspace::openURL(QUrl(linkAddress(tracking.url), QUrl::TolerantMode));
                break;
            }
        }
    }
    QWidget::mousePressEvent(event);
}

void BMTextTable::mouseMoveEvent(QMouseEvent* event)
{
    const bool overLink = std::any_of(mTrackingRectIDs.begin(), mTrackingRectIDs.end(),
                                      [&](const TrackingRect& t) { return t.rect.contains(event->position()); });
    if (overLink)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}
