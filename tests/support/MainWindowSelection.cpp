#include "support/MainWindowSelection.h"

#include "store/TVXDataBase.h"

namespace tvxtest {

bool chooseGroup(BMController& controller, const QString& groupUID)
{
    QComboBox* popup = controller.mCategoriesPopup();
    const auto groups = controller.database()->groupsForEditing();
    for (int i = 0; popup && i < groups.size(); ++i) {
        if (groups.at(i)->mGroupUID() != groupUID)
            continue;
        const int index = popup->findData(i);
        if (index < 0)
            return false;
        popup->setCurrentIndex(index);
        controller.changeCategory(popup);
        return true;
    }
    return false;
}

bool selectRecords(BMController& controller, const QStringList& recordUIDs, int view)
{
    BMMainWindow* w = controller.mainWindowView();
    const auto first = recordUIDs.isEmpty() ? nullptr : controller.database()->recordWithUID(recordUIDs.first());
    if (!w || !first || !first->mGroup())
        return false;
    controller.changeView(view);
    if (!chooseGroup(controller, first->mGroup()->mGroupUID()))
        return false;

    if (view == kListViewTag) {
        const auto& records = controller.listModel()->records();
        QItemSelection selection;
        for (const QString& uid : recordUIDs) {
            int row = -1;
            for (int r = 0; r < records.size() && row < 0; ++r)
                if (records.at(r)->mRecordUID() == uid)
                    row = r;
            if (row < 0)
                return false;
            const QModelIndex index = controller.listModel()->index(row, 0);
            selection.select(index, index);
        }
        QItemSelectionModel* model = w->mListViewTypesTable->selectionModel();
        model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        model->setCurrentIndex(selection.indexes().first(), QItemSelectionModel::NoUpdate);
        return true;
    }

    if (view == kColumnViewTag) {
        const auto& types = controller.typesModel()->types();
        int typeRow = -1;
        for (int r = 0; r < types.size() && typeRow < 0; ++r)
            if (first->mType() && types.at(r)->mTypeUID() == first->mType()->mTypeUID())
                typeRow = r;
        if (typeRow < 0)
            return false;
        w->mColumnViewTypesTable->selectRow(typeRow);
        const auto& names = controller.namesModel()->records();
        for (int r = 0; r < names.size(); ++r)
            if (names.at(r)->mRecordUID() == first->mRecordUID()) {
                w->mColumnViewDescriptionTable->selectRow(r);
                return true;
            }
        return false;
    }

    const QModelIndex index = controller.outlineModel()->indexOfRecord(first->mRecordUID());
    if (!index.isValid())
        return false;
    w->mTreeViewOutlineView->expand(index.parent());
    w->mTreeViewOutlineView->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

} // namespace tvxtest
