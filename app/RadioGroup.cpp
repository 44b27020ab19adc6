#include "app/RadioGroup.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent), items_(items), columns_(columns < 1 ? 1 : columns), group_(new QButtonGroup(this)) {
  group_->setExclusive(true);
  for (int i = 0; i < items_.size(); ++i) group_->addButton(new QRadioButton(items_[i], this), i);
  ArrangeButtons();
  UpdateTabStop();
  connect(group_, &QButtonGroup::idToggled, this, &TRadioGroup::UpdateTabStop);
}

void TRadioGroup::UpdateTabStop() {
  // Tab reaches the group once, at its selected item (the first when none
  // is), so that Space there changes nothing; the arrow keys move within.
  const int stop = ItemIndex() < 0 ? 0 : ItemIndex();
  for (int i = 0; i < items_.size(); ++i)
    group_->button(i)->setFocusPolicy(i == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (index >= 0 && index < items_.size()) {
    group_->button(index)->setChecked(true);
    return;
  }
  // An exclusive group never unchecks its last button by itself.
  if (QAbstractButton* checked = group_->checkedButton()) {
    group_->setExclusive(false);
    checked->setChecked(false);
    group_->setExclusive(true);
  }
}

QRadioButton* TRadioGroup::Button(int index) const { return static_cast<QRadioButton*>(group_->button(index)); }

void TRadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  ArrangeButtons();
}

void TRadioGroup::ArrangeButtons() {
  // Rows share the space below the caption evenly; columns share the width.
  const int count = int(items_.size());
  if (count == 0) return;
  const int perColumn = (count + columns_ - 1) / columns_;
  const int textHeight = QFontMetrics(font()).height();
  const int space = height() - textHeight - 5;
  const int buttonWidth = (width() - 10) / columns_;
  const int buttonHeight = space / perColumn;
  const int top = textHeight + 1 + (space % perColumn) / 2;
  for (int i = 0; i < count; ++i)
    group_->button(i)->setGeometry((i / perColumn) * buttonWidth + 8, (i % perColumn) * buttonHeight + top,
                                   buttonWidth, buttonHeight);
}
