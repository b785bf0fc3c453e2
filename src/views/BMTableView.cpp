#include "views/BMTableView.h"

#include "views/BMViewRoles.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>

const QString& BMTypeSelect::type(const QString& characters, double now)
{
    if (now - mTimeStamp > kResetInterval)
        mTypedString.clear();
    mTypedString += characters;
    mTimeStamp = now;
    return mTypedString;
}

int BMTypeSelect::firstMatchingRow(const QAbstractItemModel& model, int column, const QString& prefix)
{
    if (column < 0 || column >= model.columnCount())
        return -1;
    const QString wanted = prefix.toLower();
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, column);
        QVariant value = model.data(index, kTypeSelectRole);
        if (!value.isValid())
            value = model.data(index, Qt::DisplayRole);
        if (value.toString().toLower().startsWith(wanted))
            return row;
    }
    return -1;
}

BMTableView::BMTableView(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Rows are chosen whole with the arrows: Tab goes on to the next control
    // instead of walking every cell.
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void BMTableView::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    mDefaultTableColumns.clear();
    mHiddenTableColumns.clear();
    if (model)
        for (int c = 0; c < model->columnCount(); ++c)
            mDefaultTableColumns.append(c);
}

QString BMTableView::columnIdentifier(int logicalColumn) const
{
    if (!model())
        return {};
    const QVariant id = model()->headerData(logicalColumn, Qt::Horizontal, kColumnIdentifierRole);
    if (id.isValid())
        return id.toString();
    return model()->headerData(logicalColumn, Qt::Horizontal, Qt::DisplayRole).toString();
}

int BMTableView::columnWithIdentifier(const QString& identifier) const
{
    if (!model())
        return -1;
    for (int c = 0; c < model()->columnCount(); ++c)
        if (columnIdentifier(c) == identifier)
            return c;
    return -1;
}

void BMTableView::hideTableColumn(int logicalColumn)
{
    if (!model() || logicalColumn < 0 || logicalColumn >= model()->columnCount()
        || mHiddenTableColumns.contains(logicalColumn))
        return;
    mHiddenTableColumns.append(logicalColumn);
    setColumnHidden(logicalColumn, true);
}

void BMTableView::showTableColumn(int logicalColumn)
{
    if (!mHiddenTableColumns.removeOne(logicalColumn))
        return;
    QHeaderView* header = horizontalHeader();
    header->moveSection(header->visualIndex(logicalColumn), header->count() - 1);
    setColumnHidden(logicalColumn, false);
}

int BMTableView::hiddenTableColumnWithIdentifier(const QString& identifier) const
{
    for (int c : mHiddenTableColumns)
        if (columnIdentifier(c) == identifier)
            return c;
    return -1;
}

void BMTableView::setRowColor(const QColor& color)
{
    mRowColor = color;
    emit rowColorChanged(color);
    viewport()->update();
}

int BMTableView::typeSelectColumn() const
{
    const int description = columnWithIdentifier(QStringLiteral("Description_ID"));
    if (description >= 0)
        return description;
    if (isSortingEnabled() && horizontalHeader()->sortIndicatorSection() >= 0)
        return horizontalHeader()->sortIndicatorSection();
    return model() && model()->columnCount() > 0 ? 0 : -1;
}

bool BMTableView::typeToSelect(const QString& characters, double now)
{
    if (!model())
        return false;
    const QString& prefix = mTypeSelect.type(characters, now);
    const int previous = selectionModel() && selectionModel()->currentIndex().isValid()
                             ? selectionModel()->currentIndex().row()
                             : -1;
    int row = BMTypeSelect::firstMatchingRow(*model(), typeSelectColumn(), prefix);
    const bool matched = row >= 0;
    if (!matched)
        row = previous;
    if (row < 0) {
        // Nothing matched and nothing was selected: the selection stays empty.
        clearSelection();
        return false;
    }
    const QModelIndex index = model()->index(row, qMax(0, typeSelectColumn()));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
    return matched;
}

void BMTableView::keyPressEvent(QKeyEvent* event)
{
    // Nothing selected yet: the first arrow selects the row under the cursor
    // (the first row without one) rather than only moving the cursor's frame.
    const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
    if (arrow && !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) && model()
        && model()->rowCount(rootIndex()) > 0 && selectionModel() && !selectionModel()->hasSelection()) {
        const QModelIndex current = currentIndex();
        selectRow(current.isValid() ? current.row() : 0);
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Down:
    case Qt::Key_Up:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        QTableView::keyPressEvent(event);
        return;
    default:
        break;
    }
    const QString text = event->text();
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier);
    if (text.isEmpty() || command || !text.at(0).isPrint()) {
        QTableView::keyPressEvent(event);
        return;
    }
    typeToSelect(text, QDateTime::currentMSecsSinceEpoch() / 1000.0);
    event->accept();
}
