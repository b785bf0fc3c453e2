#pragma once
// The record list laid out for printing: the list's printable strings as a
// grid of wrapped text sized to its content, under a page header naming the
// signed-in user.
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class QPainter;
class QTableView;
class TVXStoreCaches;

struct BMListPrintColumn {
    QString identifier; // "0" icon, "1" type ... "12" date, "13" notes, "14" attachment
    qreal screenWidth = 0;
};

// The table being printed, as the list's data source answers for printing.
class BMListPrintSource {
public:
    virtual ~BMListPrintSource() = default;
    virtual int numberOfRowsInTableView() const = 0;
    // The table's columns in screen order (the icon column first).
    virtual QList<BMListPrintColumn> tableColumns() const = 0;
    virtual QString tableViewForPrinting(const QString& columnIdentifier, int row) const = 0;
};

// A source over a table view: its visible columns in screen order, each
// named by the header's Qt::UserRole data (else its section number), and
// the strings from `value`.
class BMTableViewPrintSource : public BMListPrintSource {
public:
    using ValueFunction = std::function<QString(const QString& columnIdentifier, int row)>;
    BMTableViewPrintSource(const QTableView& table, ValueFunction value);
    int numberOfRowsInTableView() const override;
    QList<BMListPrintColumn> tableColumns() const override;
    QString tableViewForPrinting(const QString& columnIdentifier, int row) const override;

private:
    const QTableView& mTable;
    ValueFunction mValue;
};

class BMListPrintView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kColumnGap = 6;
    static constexpr int kLeftMargin = 3;
    static constexpr int kNotesWrapWidth = 200;
    static constexpr int kDateWrapWidth = 130;
    static constexpr int kMaxCellHeight = 1000;

    // Without caches, the shared store's.
    explicit BMListPrintView(QWidget* parent = nullptr, const TVXStoreCaches* caches = nullptr);

    void setStringsFromTableView(const BMListPrintSource& table);
    void setPaperSize(const QSizeF& size) { mPaperSize = size; }
    QSizeF paperSize() const { return mPaperSize; }

    // "Tolvanex Enterprise Alert! Print Report for <user>"; none at the foot.
    QString pageHeader() const;
    QString pageFooter() const { return QString(); }

    const QList<QStringList>& stringArray() const { return mStringArray; }
    const QList<int>& rowHeights() const { return mRowHeights; }
    const QList<int>& columnWidths() const { return mColumnWidths; }
    // Printed size of the grid alone (the frame may be larger: the paper size).
    QSizeF contentSize() const;

    void drawContents(QPainter& painter) const;
    // Where a printed page may end: the bottom of each row.
    QList<qreal> rowBottoms() const;
    // The text font of the signed-in user (a default without one).
    QFont textFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<QStringList> mStringArray;
    QList<int> mRowHeights;
    QList<int> mColumnWidths;
    QSizeF mPaperSize{0, 0};
    const TVXStoreCaches* mCaches = nullptr;
};
