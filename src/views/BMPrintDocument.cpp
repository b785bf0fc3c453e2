#include "views/BMPrintDocument.h"

#include "platform/ui/ModalRun.h"
#include "views/BMDetailsView.h"
#include "views/BMListPrintView.h"
#include "views/TextBlock.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qreal kBandGap = 8;

BMPrintPresenter& installedPresenter()
{
    static BMPrintPresenter presenter;
    return presenter;
}

// Device pixels per screen pixel (content is measured in screen pixels, 96 per inch).
qreal deviceScale(const QPaintDevice& device)
{
    return device.logicalDpiY() / 96.0;
}

QFont bandFont()
{
    QFont font = QApplication::font();
    font.setUnderline(true);
    return font;
}

} // namespace

QList<BMPrintSlice> paginate(qreal contentHeight, qreal pageHeight, const QList<qreal>& breaks)
{
    QList<BMPrintSlice> slices;
    if (contentHeight <= 0 || pageHeight <= 0) {
        slices.append({0, std::max<qreal>(contentHeight, 0)});
        return slices;
    }
    qreal top = 0;
    while (top < contentHeight) {
        qreal bottom = top + pageHeight;
        if (bottom < contentHeight) {
            qreal best = -1;
            for (qreal b : breaks) {
                if (b > top + 0.5 && b <= bottom + 0.01)
                    best = std::max(best, b);
            }
            if (best > 0)
                bottom = best;
        } else {
            bottom = contentHeight;
        }
        slices.append({top, bottom});
        top = bottom;
    }
    return slices;
}

qreal printableWidth(const QPagedPaintDevice& device)
{
    const QRect paint = device.pageLayout().paintRectPixels(device.logicalDpiX());
    return paint.width() / (device.logicalDpiX() / 96.0);
}

int printDocument(QPagedPaintDevice& device, const BMPrintDocument& document)
{
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    const qreal toDevice = deviceScale(device);
    const QRect paint = device.pageLayout().paintRectPixels(device.logicalDpiX());
    // Work in screen pixels from here on.
    const qreal pageWidth = paint.width() / toDevice;
    const qreal pageHeight = paint.height() / toDevice;
    const QFont font = bandFont();
    const qreal bandHeight = textblock::lineHeight(font) + kBandGap;
    const qreal headerHeight = document.header.isEmpty() ? 0 : bandHeight;
    const qreal footerHeight = document.footer.isEmpty() ? 0 : bandHeight;
    const qreal contentScale =
        document.size.width() > pageWidth ? pageWidth / document.size.width() : 1.0;
    const qreal sliceHeight = std::max<qreal>((pageHeight - headerHeight - footerHeight) / contentScale, 1);
    const QList<BMPrintSlice> slices = paginate(document.size.height(), sliceHeight, document.breaks);

    for (int page = 0; page < slices.size(); ++page) {
        if (page > 0 && !device.newPage())
            break;
        painter.save();
        painter.scale(toDevice, toDevice);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        if (!document.header.isEmpty())
            textblock::draw(painter, QRectF(0, 0, pageWidth, headerHeight), document.header, font, Qt::black);
        if (!document.footer.isEmpty())
            textblock::draw(painter, QRectF(0, pageHeight - footerHeight + kBandGap, pageWidth, footerHeight),
                            document.footer, font, Qt::black);
        const BMPrintSlice& slice = slices[page];
        painter.translate(0, headerHeight);
        painter.scale(contentScale, contentScale);
        painter.translate(0, -slice.top);
        painter.setClipRect(QRectF(0, slice.top, document.size.width(), slice.bottom - slice.top));
        if (document.draw)
            document.draw(painter);
        painter.restore();
    }
    painter.end();
    return slices.size();
}

QString recordPrintFooter(const QString& userName)
{
    return QCoreApplication::translate("BMPrintDocument", "Tolvanex Enterprise Print Report for: %1").arg(userName);
}

BMPrintDocument documentForDetailsView(BMDetailsView& view, const QString& footer)
{
    BMPrintDocument document;
    document.size = view.size();
    document.breaks = view.printBreaks();
    document.footer = footer;
    document.draw = [&view](QPainter& painter) { view.drawForPrint(painter); };
    return document;
}

BMPrintDocument documentForListPrintView(BMListPrintView& view)
{
    BMPrintDocument document;
    const QSizeF content = view.contentSize();
    document.size = QSizeF(std::max<qreal>(content.width() + BMListPrintView::kLeftMargin, 1), content.height());
    document.breaks = view.rowBottoms();
    document.header = view.pageHeader();
    document.footer = view.pageFooter();
    document.draw = [&view](QPainter& painter) { view.drawContents(painter); };
    return document;
}

BMPrintPresenter setPrintPresenter(BMPrintPresenter presenter)
{
    BMPrintPresenter previous = std::move(installedPresenter());
    installedPresenter() = std::move(presenter);
    return previous;
}

qreal defaultPrintableWidth()
{
    QPrinter printer(QPrinter::ScreenResolution);
    return printableWidth(printer);
}

bool presentPrintDocument(const BMPrintDocument& document, QWidget* window)
{
    if (const auto& presenter = installedPresenter())
        return presenter(document, window);
    QPrinter printer(QPrinter::ScreenResolution);
    QPrintDialog dialog(&printer, window);
    QObject::connect(&dialog, &QDialog::accepted, [] { platform::stopModal(); });
    QObject::connect(&dialog, &QDialog::rejected, [] { platform::abortModal(); });
    if (platform::runModalForWindow(&dialog) != platform::kModalRunStopped || dialog.result() != QDialog::Accepted)
        return false;
    return printOnPrinter(printer, document) > 0;
}

int printOnPrinter(QPrinter& printer, const BMPrintDocument& document)
{
    if (const QString file = printer.outputFileName(); !file.isEmpty()) {
        // Made (or emptied) here with the owner's rights only, never through
        // a symbolic link; the printer then writes into it and keeps the mode.
        const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                              0600);
        if (fd < 0)
            return 0;
        const bool ownerOnly = ::fchmod(fd, 0600) == 0;
        ::close(fd);
        if (!ownerOnly)
            return 0;
    }
    return printDocument(printer, document);
}
