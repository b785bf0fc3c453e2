#include "views/BMListPrintView.h"

#include "model/TVXUser.h"
#include "store/SharedStore.h"
#include "store/loading/StoreCaches.h"
#include "views/TextBlock.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QPainter>
#include <QTableView>

#include <algorithm>
#include <cmath>

BMTableViewPrintSource::BMTableViewPrintSource(const QTableView& table, ValueFunction value)
    : mTable(table), mValue(std::move(value))
{
}

int BMTableViewPrintSource::numberOfRowsInTableView() const
{
    return mTable.model() ? mTable.model()->rowCount() : 0;
}

QList<BMListPrintColumn> BMTableViewPrintSource::tableColumns() const
{
    QList<BMListPrintColumn> columns;
    const QHeaderView* header = mTable.horizontalHeader();
    const QAbstractItemModel* model = mTable.model();
    if (!header || !model)
        return columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int section = header->logicalIndex(visual);
        if (header->isSectionHidden(section))
            continue;
        QString identifier = model->headerData(section, Qt::Horizontal, Qt::UserRole).toString();
        if (identifier.isEmpty())
            identifier = QString::number(section);
        columns.append({identifier, static_cast<qreal>(header->sectionSize(section))});
    }
    return columns;
}

QString BMTableViewPrintSource::tableViewForPrinting(const QString& columnIdentifier, int row) const
{
    return mValue ? mValue(columnIdentifier, row) : QString();
}

BMListPrintView::BMListPrintView(QWidget* parent, const TVXStoreCaches* caches)
    : QWidget(parent), mCaches(caches ? caches : &sharedstore::caches())
{
}

QFont BMListPrintView::textFont() const
{
    if (mCaches->mCurrentUser())
        return textblock::designFont(mCaches->mCurrentUser()->mTextFont());
    return textblock::designFont(font());
}

QString BMListPrintView::pageHeader() const
{
    const QString user = mCaches->mCurrentUser() ? mCaches->mCurrentUser()->mUsername() : QString();
    return tr("Tolvanex Enterprise Alert! Print Report for %1").arg(user);
}

void BMListPrintView::setStringsFromTableView(const BMListPrintSource& table)
{
    const QFont font = textFont();
    const int lineHeight = static_cast<int>(std::ceil(textblock::lineHeight(font)));
    const int rows = std::max(table.numberOfRowsInTableView(), 0);
    mStringArray.clear();
    mColumnWidths.clear();
    mRowHeights = QList<int>(rows, 0);

    QList<BMListPrintColumn> columns = table.tableColumns();
    if (!columns.isEmpty())
        columns.removeFirst(); // the icon column never prints
    if (!columns.isEmpty() && columns.last().identifier == QLatin1String("14"))
        columns.removeLast(); // nor the attachment column

    for (const BMListPrintColumn& column : std::as_const(columns)) {
        QStringList strings;
        int columnWidth = 0;
        for (int row = 0; row < rows; ++row) {
            const QString text = table.tableViewForPrinting(column.identifier, row);
            strings << text;
            if (text.isEmpty())
                continue;
            const qreal oneLine = textblock::oneLineWidth(text, font);
            int cellWidth = 0;
            int cellHeight = 0;
            if (oneLine > column.screenWidth) {
                int wrap = static_cast<int>(std::floor(column.screenWidth));
                if (column.identifier == QLatin1String("13"))
                    wrap = kNotesWrapWidth;
                else if (column.identifier == QLatin1String("12"))
                    wrap = kDateWrapWidth;
                wrap = std::max(wrap, 1);
                const qreal h = textblock::height(text, font, wrap, 0, QTextOption::WrapAnywhere);
                cellHeight = static_cast<int>(std::ceil(std::min<qreal>(h, kMaxCellHeight)));
                cellWidth = wrap;
            } else {
                cellWidth = static_cast<int>(std::ceil(oneLine)) + 5;
                cellHeight = mRowHeights[row];
            }
            columnWidth = std::max(columnWidth, cellWidth);
            if (cellHeight == 0)
                cellHeight = lineHeight;
            mRowHeights[row] = std::max(mRowHeights[row], cellHeight);
        }
        mStringArray << strings;
        mColumnWidths << columnWidth;
    }

    const QSizeF content = contentSize();
    const QSize size(static_cast<int>(std::ceil(std::max(content.width(), mPaperSize.width()))),
                     static_cast<int>(std::ceil(std::max(content.height(), mPaperSize.height()))));
    setGeometry(QRect(pos(), size));
}

QSizeF BMListPrintView::contentSize() const
{
    qreal height = 0;
    for (int h : mRowHeights)
        height += h;
    qreal width = 0;
    for (int w : mColumnWidths)
        width += w ? w + kColumnGap : 0;
    return {width, height};
}

QList<qreal> BMListPrintView::rowBottoms() const
{
    QList<qreal> bottoms;
    qreal y = 0;
    for (int h : mRowHeights) {
        y += h;
        bottoms << y;
    }
    return bottoms;
}

void BMListPrintView::drawContents(QPainter& painter) const
{
    const QFont font = textFont();
    qreal x = kLeftMargin;
    for (int column = 0; column < mStringArray.size(); ++column) {
        const int width = mColumnWidths.value(column);
        if (width == 0)
            continue;
        qreal y = 0;
        const QStringList& strings = mStringArray[column];
        for (int row = 0; row < strings.size() && row < mRowHeights.size(); ++row) {
            const QRectF cell(x, y, width, mRowHeights[row]);
            painter.save();
            painter.setClipRect(cell.adjusted(0, 0, 0, 1));
            textblock::draw(painter, cell, strings[row], font, Qt::black, 0, QTextOption::WrapAnywhere);
            painter.restore();
            y += mRowHeights[row];
        }
        x += width + kColumnGap;
    }
}

void BMListPrintView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    drawContents(painter);
}
