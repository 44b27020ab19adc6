// A titled group of exclusive radio buttons laid out in columns, filled
// column by column. Unlike a plain QButtonGroup it can report and restore
// "nothing selected" (ItemIndex -1). The group is one stop in the tab order.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

class TRadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent);

  const QStringList& Items() const { return items_; }
  // The selected item, or -1.
  int ItemIndex() const;
  // Selects item `index`; -1 (or any index out of range) clears the selection.
  void SetItemIndex(int index);
  QRadioButton* Button(int index) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ArrangeButtons();
  void UpdateTabStop();

  QStringList items_;
  int columns_;
  QButtonGroup* group_;
};
