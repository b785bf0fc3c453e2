#include "app/options/OptionsApplying.h"

#include "model/TVXUser.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>
#include <cmath>
#include <vector>

namespace applyoptions {

QColor blendedRowColor(const QColor& rowColor)
{
    const QColor c = (rowColor.isValid() ? rowColor : QColor(Qt::white)).toRgb();
    const auto blend = [](double v) { return v * (1.0 - kLightDrawingBlend) + 1.0 * kLightDrawingBlend; };
    return QColor::fromRgbF(static_cast<float>(blend(c.redF())), static_cast<float>(blend(c.greenF())),
                            static_cast<float>(blend(c.blueF())), c.alphaF());
}

int rowHeightForFont(const QFont& font)
{
    const double height = QFontMetricsF(font).boundingRect(QStringLiteral("Font")).height();
    return static_cast<int>(std::ceil(std::max(height, kStandardRowHeight)));
}

void applyBackgroundColor(QWidget* view, const QColor& background)
{
    if (!view)
        return;
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Window, background);
    view->setPalette(palette);
    view->setAutoFillBackground(true);
    view->update();
}

QFont shownFont(const QFont& font)
{
    if (font.family().isEmpty() || QFontDatabase::hasFamily(font.family()))
        return font;
    // A family this desktop lacks (the default one among them): its default
    // font at the chosen size, the stored choice left as it is.
    QFont shown = QApplication::font();
    if (font.pointSizeF() > 0)
        shown.setPointSizeF(font.pointSizeF());
    else if (font.pixelSize() > 0)
        shown.setPixelSize(font.pixelSize());
    shown.setWeight(font.weight());
    shown.setItalic(font.italic());
    return shown;
}

void applyFont(QAbstractItemView* view, const QFont& chosen)
{
    if (!view)
        return;
    const QFont font = shownFont(chosen);
    view->setFont(font);
    if (auto* table = qobject_cast<QTableView*>(view)) {
        const int height = rowHeightForFont(font);
        table->verticalHeader()->setMinimumSectionSize(std::min(height, table->verticalHeader()->minimumSectionSize()));
        table->verticalHeader()->setDefaultSectionSize(height);
    }
}

int columnIdentifier(const QTableView& table, int logicalColumn)
{
    if (const QAbstractItemModel* model = table.model()) {
        bool ok = false;
        const int id = model->headerData(logicalColumn, Qt::Horizontal, Qt::UserRole).toInt(&ok);
        if (ok)
            return id;
    }
    return logicalColumn;
}

uint64_t columnMaskBit(int identifier)
{
    // Identifiers 1 and 2 are type and group; 3 to 12 the values; 13 notes, 14 attachment.
    if (identifier < 1 || identifier > kListNoOfColumns)
        return 0;
    return kColumnMasksArray[identifier - 1];
}

int columnCompare(const QString& left, const QString& right)
{
    const int a = left.toInt();
    const int b = right.toInt();
    return a < b ? -1 : (a > b ? 1 : 0);
}

void updateTableColumn(QTableView* table, uint64_t bit, int identifier)
{
    if (!table || !table->model())
        return;
    for (int column = 0; column < table->model()->columnCount(); ++column)
        if (columnIdentifier(*table, column) == identifier)
            table->setColumnHidden(column, bit == 0);
}

void applyColumnMask(QTableView* table, uint64_t mask)
{
    if (!table || !table->model())
        return;
    for (int column = 0; column < table->model()->columnCount(); ++column) {
        const int id = columnIdentifier(*table, column);
        if (id == 0)
            table->setColumnHidden(column, false);
        else if (const uint64_t bit = columnMaskBit(id))
            table->setColumnHidden(column, (mask & bit) == 0);
    }
    rearrangeTableColumns(table);
}

void rearrangeTableColumns(QTableView* table)
{
    if (!table || !table->model())
        return;
    QHeaderView* header = table->horizontalHeader();
    std::vector<int> logical(static_cast<size_t>(table->model()->columnCount()));
    for (size_t i = 0; i < logical.size(); ++i)
        logical[i] = static_cast<int>(i);
    std::stable_sort(logical.begin(), logical.end(), [table](int a, int b) {
        return columnCompare(QString::number(columnIdentifier(*table, a)),
                             QString::number(columnIdentifier(*table, b)))
               < 0;
    });
    for (int target = 0; target < static_cast<int>(logical.size()); ++target) {
        const int from = header->visualIndex(logical[static_cast<size_t>(target)]);
        if (from != target)
            header->moveSection(from, target);
    }
}

} // namespace applyoptions
