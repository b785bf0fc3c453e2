#pragma once
// The export save panel's accessory: which records to export, and whether
// their attachments go along.
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QRadioButton;

class BMExportOptionsView : public QWidget {
    Q_OBJECT
public:
    explicit BMExportOptionsView(QWidget* parent = nullptr);

    // Rows: 0 all records, 1 the records listed, 2 the selected records.
    int selectedRow() const;
    void selectRow(int row);
    QRadioButton* rowButton(int row) const;
    QCheckBox* attachmentsBox() const { return mExportAttachments; }
    // The command the box was set up for (its tag).
    int attachmentsTag() const { return mAttachmentsTag; }
    void setAttachmentsTag(int tag) { mAttachmentsTag = tag; }

signals:
    void scopeChanged();

private:
    QButtonGroup* mExportOptions;
    QCheckBox* mExportAttachments;
    int mAttachmentsTag = 0;
};
