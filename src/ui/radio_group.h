#pragma once
// A titled group of radio buttons laid out in columns, addressed by item index (-1: none).

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>
#include <functional>

class QRadioButton;

namespace trimora {

class TRadioGroup : public QGroupBox {
  public:
    TRadioGroup(const QString& title, const QStringList& items, int columns,
                QWidget* parent = nullptr);

    int ItemIndex() const;
    void SetItemIndex(int index); // no click handler runs
    int Count() const { return static_cast<int>(buttons_.size()); }
    QString ItemText(int index) const;
    QRadioButton* Button(int index) const { return buttons_.at(index); }

    std::function<void()> OnClick; // a click by the user on an item

  private:
    QButtonGroup group_;
    std::vector<QRadioButton*> buttons_;
};

} // namespace trimora
