#pragma once
// Printing a laid-out view: the view's content scaled to the page width when
// it is wider, spread over as many pages as it needs (a page ends at the
// last row that fits), with an underlined header and footer on every page.
// Nothing is written to disk unless the printer itself writes a file, which
// is then its owner's alone.
#include <QList>
#include <QSizeF>
#include <QString>

#include <functional>

class BMDetailsView;
class BMListPrintView;
class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QWidget;
class TVXRecord;
class TVXDataBase;

struct BMPrintDocument {
    QSizeF size;                           // content size, in screen pixels
    std::function<void(QPainter&)> draw;   // draws the content from (0, 0)
    QList<qreal> breaks;                   // where a page may end (content y)
    QString header;
    QString footer;
};

// One page's part of the content: [top, bottom).
struct BMPrintSlice {
    qreal top = 0;
    qreal bottom = 0;
};

// The content cut into pages of `pageHeight` (content units): each page ends
// at the last break that fits, or is cut when none does. Always one page at least.
QList<BMPrintSlice> paginate(qreal contentHeight, qreal pageHeight, const QList<qreal>& breaks);

// Prints the document on the device (a QPrinter or a QPdfWriter); the pages
// printed, 0 when the device cannot be painted on.
int printDocument(QPagedPaintDevice& device, const BMPrintDocument& document);

// "Tolvanex Enterprise Print Report for: <user>", the foot of a printed record.
QString recordPrintFooter(const QString& userName);

// The documents of a single record (a detail pane laid out at the page's
// width) and of a record list.
BMPrintDocument documentForDetailsView(BMDetailsView& view, const QString& footer);
BMPrintDocument documentForListPrintView(BMListPrintView& view);

// The width available on the device's pages, in screen pixels.
qreal printableWidth(const QPagedPaintDevice& device);

// Prints on the printer. A printer that writes a file (a PDF) gets it made
// readable and writable by its owner only (0600) before a page is drawn; when
// that cannot be done nothing is printed (0 pages).
int printOnPrinter(QPrinter& printer, const BMPrintDocument& document);

// Shows the print dialog for the document (a modal run on the window) and
// prints it when confirmed. Tests replace the presenter to print into a file.
using BMPrintPresenter = std::function<bool(const BMPrintDocument&, QWidget* window)>;
BMPrintPresenter setPrintPresenter(BMPrintPresenter presenter);
bool presentPrintDocument(const BMPrintDocument& document, QWidget* window);
// Page width used to lay documents out before the dialog (the default printer's).
qreal defaultPrintableWidth();
