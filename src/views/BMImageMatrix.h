#pragma once
// The grid of icons a record's icon is picked from: the application's 63
// icons, then the store's custom icons, eight to a row. The chosen icon has a
// grey bezel; a click on an icon chooses it. New custom icons join the grid
// as they are stored (notice "ExternalIconCreated").
#include <QImage>
#include <QList>
#include <QWidget>

class TVXIconsAccess;

class BMImageMatrix : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStandardIcons = 256; // numbers above are custom icons
    static constexpr int kColumns = 8;
    static constexpr int kCellSize = 32;

    explicit BMImageMatrix(const TVXIconsAccess& icons, QWidget* parent = nullptr);
    ~BMImageMatrix() override;

    // Lays the grid out from the images.
    void displayMatrix();
    // Refills the images from the manager, lays out and selects the first cell.
    void renewIconMatrix();
    // Selects the cell of the icon and scrolls it into view; when no cell shows
    // the icon, nothing is selected any more.
    void setSelectedImage(int iconNumber);
    // The image of the selected cell (null when none).
    QImage selectedIcon() const;
    // Its icon number (0 when none).
    int selectedIconNumber() const;
    // A stored custom icon: shown last, selected.
    void ExternalIconCreated(int iconNumber);

    const QList<QImage>& mImages() const { return m_images; }
    int numberOfRows() const;
    int selectedRow() const { return mSelectedRow; }
    int selectedColumn() const { return mSelectedColumn; }
    QRect cellRect(int row, int column) const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void fillImages();
    bool cellHasImage(int row, int column) const;
    void selectCell(int row, int column);
    void scrollRowToVisible(int row);

    const TVXIconsAccess& mIcons;
    QList<QImage> m_images;
    int mSelectedRow = -1;
    int mSelectedColumn = -1;
    quint64 mObserverToken = 0;
};
