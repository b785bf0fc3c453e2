#include "app/exchange/BMExportOptionsView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

BMExportOptionsView::BMExportOptionsView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("mOpenPanelAccesoryView"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* box = new QGroupBox(tr("Export"), this);
    auto* rows = new QVBoxLayout(box);
    rows->setSpacing(4);
    mExportOptions = new QButtonGroup(this);
    const QStringList titles{tr("All records"), tr("Records in the current list"), tr("Selected records")};
    for (int i = 0; i < titles.size(); ++i) {
        auto* button = new QRadioButton(titles[i], box);
        button->setObjectName(QStringLiteral("scopeRow%1").arg(i));
        mExportOptions->addButton(button, i);
        rows->addWidget(button);
    }
    mExportAttachments = new QCheckBox(tr("Include attachments"), box);
    mExportAttachments->setObjectName(QStringLiteral("mExportAttachments"));
    rows->addSpacing(4);
    rows->addWidget(mExportAttachments);
    layout->addWidget(box);
    layout->addStretch(1);
    connect(mExportOptions, &QButtonGroup::idClicked, this, &BMExportOptionsView::scopeChanged);
    selectRow(2);
}

int BMExportOptionsView::selectedRow() const
{
    return mExportOptions->checkedId();
}

void BMExportOptionsView::selectRow(int row)
{
    if (auto* button = mExportOptions->button(row))
        button->setChecked(true);
}

QRadioButton* BMExportOptionsView::rowButton(int row) const
{
    return qobject_cast<QRadioButton*>(mExportOptions->button(row));
}
