// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/AboutWindow.hpp"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "navigator/app/ProgramIcon.hpp"
#include "halvex/Version.hpp"

namespace halvex::navigator {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About Halvex Navigator");
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setObjectName("ProgramIcon");
  icon->setPixmap(MarnavIcon().pixmap(64, 64));
  icon->setAlignment(Qt::AlignCenter);
  auto* product = new QLabel("Halvex Navigator", this);
  product->setObjectName("ProductName");
  QFont big = product->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  product->setFont(big);
  product->setAlignment(Qt::AlignCenter);
  auto* version = new QLabel(QString("Version %1").arg(kVersion), this);
  version->setObjectName("Version");
  version->setAlignment(Qt::AlignCenter);
  auto* about = new QLabel(
      "Marine survey navigation: GPS and echo sounder,\n"
      "local datum and grid, vessel and track on the chart.\n"
      "Licensed under the GNU GPL, version 3 or later.",
      this);
  about->setObjectName("Comments");
  about->setAlignment(Qt::AlignCenter);
  auto* ok = new QPushButton("Close", this);
  ok->setObjectName("OKButton");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(icon);
  layout->addWidget(product);
  layout->addWidget(version);
  layout->addWidget(about);
  layout->addWidget(ok, 0, Qt::AlignCenter);
}

}  // namespace halvex::navigator
