#include "ui/radio_group.h"

#include <QGridLayout>
#include <QRadioButton>

namespace trimora {

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, int columns,
                         QWidget* parent)
    : QGroupBox(title, parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_.addButton(button, i);
        grid->addWidget(button, i / columns, i % columns);
        buttons_.push_back(button);
    }
    connect(&group_, &QButtonGroup::idClicked, this, [this](int) {
        if (OnClick) OnClick();
    });
}

int TRadioGroup::ItemIndex() const {
    return group_.checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (index >= 0 && index < Count()) {
        buttons_[index]->setChecked(true);
        return;
    }
    // No item: an exclusive group cannot uncheck its last button directly.
    group_.setExclusive(false);
    for (auto* b : buttons_)
        b->setChecked(false);
    group_.setExclusive(true);
}

QString TRadioGroup::ItemText(int index) const {
    return index >= 0 && index < Count() ? buttons_[index]->text() : QString();
}

} // namespace trimora
