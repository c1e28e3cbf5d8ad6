// UpDown: a pair of arrow buttons that step a position within a range, without wrapping; the
// up arrow raises it. The main window scales its cycle-time graph with one.
#pragma once

#include <QWidget>

class QToolButton;

namespace velora {

class UpDown : public QWidget {
  Q_OBJECT

 public:
  UpDown(int minimum, int maximum, int position, QWidget* parent = nullptr);

  int Position() const { return position_; }
  // Kept within the range; emits PositionChanged when the position moves.
  void SetPosition(int position);
  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 signals:
  void PositionChanged(int position);

 private:
  int minimum_;
  int maximum_;
  int position_;
  QToolButton* up_;
  QToolButton* down_;
};

}  // namespace velora
