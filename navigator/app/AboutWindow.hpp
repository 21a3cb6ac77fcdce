// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace halvex::navigator {

// "About Halvex Navigator": the program's name and version and a close
// button, shown modally from the Help menu.
class TAboutBox final : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace halvex::navigator
