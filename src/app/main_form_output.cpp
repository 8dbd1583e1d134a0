// lvProgress shows the output list: every change of a row of the model is mirrored in the view.
#include "app/main_form.h"

#include "ui/icons.h"

#include <QTreeWidget>

namespace trimora {

void MainForm::ShowOutputRow(int row) {
    if (row < 0 || row >= OutputList.Count()) return;
    const bool added = lvProgress->topLevelItemCount() <= row;
    while (lvProgress->topLevelItemCount() <= row) {
        auto* item = new QTreeWidgetItem();
        item->setTextAlignment(col::OutStatus, Qt::AlignCenter);
        item->setTextAlignment(col::OutSize, Qt::AlignCenter);
        lvProgress->addTopLevelItem(item);
    }
    const TOutputRow& r = OutputList.Row(row);
    QTreeWidgetItem* item = lvProgress->topLevelItem(row);
    item->setText(col::OutName, QString::fromStdString(r.Caption));
    item->setText(col::OutStatus, QString::fromStdString(r.Status));
    item->setText(col::OutSize, QString::fromStdString(r.SizeText));
    item->setText(col::OutId, QString::number(r.Id));
    item->setText(col::OutPath, QString::fromStdString(r.FullPath));
    if (r.Icon != TRowIcon::None) item->setIcon(col::OutName, ListIcon(static_cast<int>(r.Icon)));
    // A new row, and every new message, comes into view.
    if (added || r.Id == MessageRowId) lvProgress->scrollToItem(item);
}

void MainForm::SyncOutputList() {
    while (lvProgress->topLevelItemCount() > OutputList.Count())
        delete lvProgress->takeTopLevelItem(lvProgress->topLevelItemCount() - 1);
    for (int i = 0; i < OutputList.Count(); ++i)
        ShowOutputRow(i);
}

void MainForm::mnClearlistClick() {
    OutputList.Clear();
}

} // namespace trimora
