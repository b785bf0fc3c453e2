#pragma once
// A grid of check boxes standing for the bits of one permission word.
#include <QWidget>

#include <QList>

#include <cstdint>

class QCheckBox;

class PermissionMatrix : public QWidget {
    Q_OBJECT
public:
    // Cell (r, c) stands for bit 1 << (r * columns + c) and is titled titles[r * columns + c].
    PermissionMatrix(int rows, int columns, const QStringList& titles, QWidget* parent = nullptr);

    uint16_t word() const;
    void setWord(uint16_t word);
    void selectAll(bool on);
    QCheckBox* cellAt(int row, int column) const;
    int rows() const { return mRows; }
    int columns() const { return mColumns; }

signals:
    // A cell was clicked by the user.
    void cellClicked();

private:
    int mRows;
    int mColumns;
    QList<QCheckBox*> mCells;
};
