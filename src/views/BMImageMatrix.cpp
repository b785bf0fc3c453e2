#include "views/BMImageMatrix.h"

#include "platform/core/NotificationCenter.h"
#include "store/personal/IconStore.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>

#include <algorithm>

namespace {
const QString kImageNameKey = QStringLiteral("Name");
}

BMImageMatrix::BMImageMatrix(const TVXIconsAccess& icons, QWidget* parent)
    : QWidget(parent), mIcons(icons)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setFocusPolicy(Qt::StrongFocus);
    fillImages();
    // Notices are delivered on the main thread, where the grid lives.
    mObserverToken = platform::NotificationCenter::defaultCenter().addObserver(
        TVXIconsAccess::kExternalIconCreatedNotification, [this](const platform::Notification& notice) {
            if (const int* number = std::any_cast<int>(&notice.object))
                ExternalIconCreated(*number);
        });
    displayMatrix();
    selectCell(0, 0);
}

BMImageMatrix::~BMImageMatrix()
{
    platform::NotificationCenter::defaultCenter().removeObserver(mObserverToken);
}

void BMImageMatrix::fillImages()
{
    m_images.clear();
    for (int n = 1; n <= TVXIconsAccess::kMaxIcons; ++n)
        m_images.append(mIcons.getImageFromIconIndex(n));
    // Custom icons by number, so that the grid keeps its order between runs.
    QList<int> numbers;
    for (auto it = mIcons.mCustomIcons().cbegin(); it != mIcons.mCustomIcons().cend(); ++it)
        if (const int n = it.key().mid(4).toInt(); n > 0)
            numbers.append(n);
    std::sort(numbers.begin(), numbers.end());
    for (int n : numbers) {
        QImage image = mIcons.getImageFromIconIndex(n);
        if (image.isNull())
            continue;
        image.setText(kImageNameKey, TVXIconsAccess::iconName(n));
        m_images.append(image);
    }
}

int BMImageMatrix::numberOfRows() const
{
    const auto count = m_images.size();
    return int(count / kColumns + (count % kColumns ? 1 : 0));
}

QSize BMImageMatrix::sizeHint() const { return {kColumns * kCellSize, numberOfRows() * kCellSize}; }

QRect BMImageMatrix::cellRect(int row, int column) const
{
    return {column * kCellSize, row * kCellSize, kCellSize, kCellSize};
}

bool BMImageMatrix::cellHasImage(int row, int column) const
{
    if (row < 0 || column < 0 || column >= kColumns)
        return false;
    const qsizetype index = qsizetype(row) * kColumns + column;
    return index < m_images.size() && !m_images[index].isNull();
}

void BMImageMatrix::displayMatrix()
{
    setFixedSize(sizeHint());
    update();
}

void BMImageMatrix::renewIconMatrix()
{
    fillImages();
    displayMatrix();
    selectCell(0, 0);
}

void BMImageMatrix::selectCell(int row, int column)
{
    mSelectedRow = row;
    mSelectedColumn = column;
    update();
}

void BMImageMatrix::setSelectedImage(int iconNumber)
{
    qsizetype position = iconNumber - 1;
    if (iconNumber > kStandardIcons) {
        const QString name = TVXIconsAccess::iconName(iconNumber);
        position = m_images.size();
        for (qsizetype i = TVXIconsAccess::kMaxIcons; i < m_images.size(); ++i)
            if (m_images[i].text(kImageNameKey) == name) {
                position = i;
                break;
            }
    }
    const int row = position < 0 ? -1 : int(position / kColumns);
    const int column = position < 0 ? -1 : int(position % kColumns);
    // Every frame off; only a cell that shows the icon is selected again.
    mSelectedRow = mSelectedColumn = -1;
    if (cellHasImage(row, column))
        selectCell(row, column);
    if (row >= 0)
        scrollRowToVisible(row);
    update();
}

QImage BMImageMatrix::selectedIcon() const
{
    if (!cellHasImage(mSelectedRow, mSelectedColumn))
        return {};
    return m_images[qsizetype(mSelectedRow) * kColumns + mSelectedColumn];
}

int BMImageMatrix::selectedIconNumber() const
{
    const QImage image = selectedIcon();
    if (image.isNull())
        return 0;
    const QString name = image.text(kImageNameKey);
    return name.size() > 4 ? name.mid(4).toInt() : 0;
}

void BMImageMatrix::ExternalIconCreated(int iconNumber)
{
    QImage image = mIcons.getImageFromIconIndex(iconNumber);
    if (!image.isNull()) {
        image.setText(kImageNameKey, TVXIconsAccess::iconName(iconNumber));
        m_images.append(image);
    }
    displayMatrix();
    setSelectedImage(iconNumber);
    scrollRowToVisible(numberOfRows() - 1);
}

void BMImageMatrix::scrollRowToVisible(int row)
{
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) {
            const QRect cell = cellRect(row, 0);
            area->ensureVisible(cell.center().x(), cell.center().y(), 0, kCellSize / 2 + 2);
            return;
        }
}

void BMImageMatrix::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (at.x() < 0 || at.y() < 0)
        return;
    const int row = at.y() / kCellSize;
    const int column = at.x() / kCellSize;
    // Empty cells and the space outside the cells keep the selection.
    if (column < kColumns && cellHasImage(row, column))
        selectCell(row, column);
}

void BMImageMatrix::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int inset = (kCellSize - TVXIconsAccess::kIconDisplaySize) / 2;
    for (qsizetype i = 0; i < m_images.size(); ++i) {
        const QRect cell = cellRect(int(i / kColumns), int(i % kColumns));
        if (!m_images[i].isNull())
            painter.drawImage(cell.adjusted(inset, inset, -inset, -inset), m_images[i]);
    }
    if (cellHasImage(mSelectedRow, mSelectedColumn)) {
        // The grey bezel: a light fill, dark upper-left and light lower-right edges.
        const QRect cell = cellRect(mSelectedRow, mSelectedColumn).adjusted(0, 0, -1, -1);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 28));
        painter.drawRect(cell);
        painter.setPen(QColor(120, 120, 120));
        painter.drawLine(cell.topLeft(), cell.topRight());
        painter.drawLine(cell.topLeft(), cell.bottomLeft());
        painter.setPen(QColor(225, 225, 225));
        painter.drawLine(cell.bottomLeft(), cell.bottomRight());
        painter.drawLine(cell.topRight(), cell.bottomRight());
        const QImage& image = m_images[qsizetype(mSelectedRow) * kColumns + mSelectedColumn];
        painter.drawImage(cellRect(mSelectedRow, mSelectedColumn).adjusted(inset, inset, -inset, -inset), image);
    }
}
