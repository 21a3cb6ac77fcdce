// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A main window on a scratch folder with scripted dialogs, and two datums
// that differ (an ED50-like datum A, WGS-84 as datum B).

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <memory>

#include "appkit/ScriptedDialogs.hpp"
#include "geotools/app/DatumWindow.hpp"
#include "geotools/app/GeoForm.hpp"
#include "geotools/app/GridModel.hpp"

namespace halvex::geokit::testing {

inline const DatumTexts kDatumA{"ED50 TEST", "6378388", "297", "-1.2", "0.1",
                                "0.2",       "-0.3",    "-87", "-98",  "-121"};
inline const DatumTexts kDatumB{"WGS84", "6378137", "298.257223563", "0", "0", "0", "0", "0",
                                "0",     "0"};

struct WindowFixture {
  WindowFixture() {
    static int counter = 0;
    folder = std::filesystem::temp_directory_path() /
             ("geokit_window_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    form = std::make_unique<TGeoForm>(
        dialogs, GeoFormPaths{folder / "geokit.INI", folder / "HXV", folder / "HVG_EN.rtf"});
    form->SetQuitOnClose(true);
    form->show();
    form->Datums().SetDatum(0, kDatumA);
    form->Datums().SetDatum(1, kDatumB);
    // Left selectors (odd) on datum A, right ones on datum B.
    for (int s = 1; s <= 8; ++s) {
      Click(Selector(s));
      if (s % 2 == 0) Click(Selector(s));
    }
  }
  ~WindowFixture() {
    form.reset();
    std::filesystem::remove_all(folder);
  }

  QLineEdit* Selector(int s) const {
    return form->findChild<QLineEdit*>(QString("Datum%1").arg(s));
  }
  QLineEdit* Edit(const char* name) const { return form->findChild<QLineEdit*>(name); }
  QPushButton* Button(const char* name) const { return form->findChild<QPushButton*>(name); }
  static void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
  void Press(const char* name) const { Button(name)->click(); }
  void PressAndWait(const char* name) const {
    QSignalSpy done(form.get(), &TGeoForm::ConversionFinished);
    Press(name);
    if (form->ConversionRunning()) done.wait(20000);
  }

  std::filesystem::path folder;
  appkit::ScriptedDialogs dialogs;
  std::unique_ptr<TGeoForm> form;
};

}  // namespace halvex::geokit::testing
