#include "admin/PermissionMatrix.h"

#include <QCheckBox>
#include <QGridLayout>

PermissionMatrix::PermissionMatrix(int rows, int columns, const QStringList& titles, QWidget* parent)
    : QWidget(parent), mRows(rows), mColumns(columns)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(18);
    grid->setVerticalSpacing(6);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            auto* box = new QCheckBox(titles.value(r * columns + c), this);
            box->setObjectName(QStringLiteral("cell%1%2").arg(r).arg(c));
            connect(box, &QCheckBox::clicked, this, &PermissionMatrix::cellClicked);
            grid->addWidget(box, r, c);
            mCells.append(box);
        }
    }
    for (int c = 0; c < columns; ++c)
        grid->setColumnStretch(c, 1);
}

uint16_t PermissionMatrix::word() const
{
    uint16_t word = 0;
    for (int i = 0; i < mCells.size(); ++i)
        if (mCells[i]->isChecked())
            word |= uint16_t(1u << i);
    return word;
}

void PermissionMatrix::setWord(uint16_t word)
{
    for (int i = 0; i < mCells.size(); ++i)
        mCells[i]->setChecked(word & (1u << i));
}

void PermissionMatrix::selectAll(bool on)
{
    for (auto* cell : mCells)
        cell->setChecked(on);
}

QCheckBox* PermissionMatrix::cellAt(int row, int column) const
{
    return mCells.value(row * mColumns + column);
}
