// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A colour box: a button filled with its colour; a click opens the colour
// dialog. The value is a blue-green-red integer, as the settings store it.
// Setting the value from code does not emit Changed, so filling the box
// from the settings does not run its change handler.

#include <QToolButton>

namespace halvex::navigator {

class ColorBox final : public QToolButton {
  Q_OBJECT

 public:
  explicit ColorBox(const QString& objectName, QWidget* parent = nullptr);

  int Bgr() const { return bgr_; }
  void SetBgr(int bgr);

 signals:
  // The user chose a colour.
  void Changed(int bgr);

 private:
  void Choose();
  void Paint();

  int bgr_ = 0;
};

}  // namespace halvex::navigator
