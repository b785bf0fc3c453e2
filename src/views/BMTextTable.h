#pragma once
// The rows of the detail pane: key, wrapped value and a small button per row
// (group, fields 2 to 9, modification date, attachment, note). Values that
// are web addresses are drawn as links; the attachment row's button asks the
// application for the attachment menu. The same layout draws for printing.
#include <QColor>
#include <QFont>
#include <QList>
#include <QRectF>
#include <QString>
#include <QToolButton>
#include <QWidget>

#include <array>

class QPainter;

// A row button: a click copies its title (when it has one) and tells the table.
class BMTextTableButton : public QToolButton {
    Q_OBJECT
public:
    explicit BMTextTableButton(QWidget* parent = nullptr);
    const QString& mTitle() const { return m_title; }
    void setTitle(const QString& title);

signals:
    void titleClicked(BMTextTableButton* button);

private:
    QString m_title;
};

class BMTextTable : public QWidget {
    Q_OBJECT
public:
    static constexpr int kNumberOfRows = 12;
    static constexpr int kGroupRow = 0;
    static constexpr int kDateRow = 9;
    static constexpr int kAttachmentRow = 10;
    static constexpr int kNoteRow = 11;
    static constexpr int kButtonSize = 20;
    static constexpr int kMinimumRowHeight = 20;
    // Stands for a missing key or copy text.
    static inline const QString kNull = QStringLiteral("Null");
    // Posted with the attachment row's button (QWidget*) as object.
    static inline const QString kAddExtractAttachmentMenuNotification = QStringLiteral("AddExtractAttachmentMenu");

    struct Attributes {
        QFont font;
        QColor color = Qt::black;
        qreal lineSpacing = 0;
    };

    // A link drawn at the last layout.
    struct TrackingRect {
        QRectF rect;
        QString url;
        int tag = 0;
    };

    explicit BMTextTable(QWidget* parent = nullptr);

    // Clears every key, value and height; filling a record starts here.
    void setAttributes(const Attributes& attributes);
    void setNoteAttributes(const Attributes& attributes);
    const Attributes& attributes() const { return mAttributes; }
    void setKey(const QString& key, int row);
    void setPasteboardString(const QString& text, int row);
    // Stores the value and grows the row to the value's wrapped height.
    void setValue(const QString& value, int row);
    QString key(int row) const;
    QString value(int row) const;
    QString pasteboardString(int row) const;
    int rowHeight(int row) const;

    // Height the rows need, with the note heading and the attachment line.
    int totalHeight() const;
    void setScrollerVisible(bool visible) { mScrollerVisible = visible; }
    bool scrollerVisible() const { return mScrollerVisible; }
    void setIsPrintingView(bool printing = true) { mIsPrintingView = printing; }
    bool isPrintingView() const { return mIsPrintingView; }

    static bool isHyperLink(const QString& text);
    // The address a link click opens: "www." gets "http://" put in front.
    static QString linkAddress(const QString& text);

    BMTextTableButton* rowButton(int row) const;
    // Where links were drawn, in the table's coordinates (last screen layout).
    const QList<TrackingRect>& trackingRects() const { return mTrackingRectIDs; }
    int mRowWidth() const { return m_rowWidth; }
    int mRowHeight() const { return m_rowHeight; }

    // The layout without buttons, links still drawn, for a printer or a PDF.
    void drawForRecordPrint(QPainter& painter);
    // Where a printed page may end: the bottom of each drawn row.
    QList<qreal> rowBottoms() const;
    // Places the buttons and link rectangles for the current width.
    void layoutRows();

public slots:
    // The row buttons' action: the attachment row asks for its menu.
    void extractAttachment(BMTextTableButton* sender);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    qreal wrapWidth(int row) const;
    qreal lineHeightOfAttributes() const;
    // Draws (and, on screen, records links and places buttons).
    void drawRows(QPainter* painter, bool toScreen);

    std::array<QString, kNumberOfRows> mColumn1Details;
    std::array<QString, kNumberOfRows> mColumn2Details;
    std::array<BMTextTableButton*, kNumberOfRows> mColumn3Details{};
    std::array<int, kNumberOfRows> mRowHeights{};
    std::array<QString, kNumberOfRows> mPasteboardStrings;
    QList<TrackingRect> mTrackingRectIDs;
    Attributes mAttributes;
    Attributes mNoteAttributes;
    bool mIsPrintingView = false;
    bool mScrollerVisible = true;
    int m_rowWidth = 0;
    int m_rowHeight = kMinimumRowHeight;
    int mNextTrackingTag = 1;
};
