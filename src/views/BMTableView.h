#pragma once
// The record list table: columns that can be hidden and shown again by
// identifier, a row colour, and type-to-select on a search column.
#include <QColor>
#include <QList>
#include <QString>
#include <QTableView>

class QAbstractItemModel;

// Type-to-select: the prefix typed so far and when its last key came.
class BMTypeSelect {
public:
    // Keys typed more than this apart start a new prefix.
    static constexpr double kResetInterval = 1.0; // seconds

    // Adds the typed characters at `now` (seconds) and answers the prefix.
    const QString& type(const QString& characters, double now);
    const QString& typedString() const { return mTypedString; }
    double timeStamp() const { return mTimeStamp; }

    // The first row whose text in `column` begins with `prefix`, ignoring case; -1 for none.
    static int firstMatchingRow(const QAbstractItemModel& model, int column, const QString& prefix);

private:
    QString mTypedString;
    double mTimeStamp = 0;
};

class BMTableView : public QTableView {
    Q_OBJECT
public:
    explicit BMTableView(QWidget* parent = nullptr);

    // The columns are the model's; each is known by its header identifier
    // (kColumnIdentifierRole, else its header text).
    QString columnIdentifier(int logicalColumn) const;
    int columnWithIdentifier(const QString& identifier) const; // -1 for none

    // Hiding a hidden column or showing a shown one changes nothing; a shown
    // column comes back as the last column.
    void hideTableColumn(int logicalColumn);
    void showTableColumn(int logicalColumn);
    bool tableColumnIsHidden(int logicalColumn) const { return mHiddenTableColumns.contains(logicalColumn); }
    const QList<int>& hiddenTableColumns() const { return mHiddenTableColumns; }
    int hiddenTableColumnWithIdentifier(const QString& identifier) const; // -1 for none
    // The columns as the model gave them when it was set.
    const QList<int>& defaultTableColumns() const { return mDefaultTableColumns; }

    void setRowColor(const QColor& color);
    const QColor& rowColor() const { return mRowColor; }

    // The column type-to-select searches: "Description_ID", else the sort column.
    int typeSelectColumn() const;
    // One typed text at `now` (seconds): selects the first matching row, or
    // the row selected before when none matches. Answers whether a row matched.
    bool typeToSelect(const QString& characters, double now);
    const BMTypeSelect& typeSelectState() const { return mTypeSelect; }

    void setModel(QAbstractItemModel* model) override;

signals:
    void rowColorChanged(const QColor& color);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QList<int> mDefaultTableColumns;
    QList<int> mHiddenTableColumns;
    QColor mRowColor;
    BMTypeSelect mTypeSelect;
};
