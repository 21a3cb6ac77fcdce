// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window of the geodesy tools (TGeoForm): the page control
// TabDatum with its eight pages, the conversion panels of pages 0 to 3 with
// their grids, the least-squares pages 4 to 6, the log merge page 7, the
// menus, the tray icon and the small windows.
//
// GeoForm.cpp builds the window and the conversion pages, LsqPages.cpp the
// least-squares pages, MergePage.cpp the merge page, GeoFormSettings.cpp
// restores and stores the settings.
//
// Handlers read the controls, call one function of geotools/core or
// geodesy/, and write the result back; questions go through the dialog
// interface given to the constructor.

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <map>
#include <memory>
#include <vector>

#include "appkit/Dialogs.hpp"
#include "geodesy/PointFiles.hpp"
#include "geotools/core/BackgroundJob.hpp"
#include "geotools/core/Conversions.hpp"
#include "geotools/app/OutputWindow.hpp"
#include "geotools/core/RichText.hpp"
#include "platform/IniStore.hpp"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class QTableView;
class QTimer;

namespace halvex::geokit {

class DatumWindow;
class GridModel;
struct LsqPageWidgets;
struct MergePageWidgets;
class TFormUnits;
class Tfc;

// The files and folders the window uses.
struct GeoFormPaths {
  std::filesystem::path ini;
  std::filesystem::path programFolder;  // datum files go to <programFolder>/Datum
  std::filesystem::path helpFile;
};

class TGeoForm : public QMainWindow {
  Q_OBJECT
 public:
  TGeoForm(appkit::Dialogs& dialogs, GeoFormPaths paths, QWidget* parent = nullptr);
  ~TGeoForm() override;

  // The grid shown under that object name ("ecefDMSgrd", "utmEN", ...).
  GridModel* Grid(const QString& name) const;
  QTableView* GridView(const QString& name) const;
  DatumWindow& Datums() const { return *datums_; }
  TFormUnits& Units() const { return *units_; }
  Tfc& Clipboard() const { return *clipboard_; }
  QTabWidget* Pages() const { return tabs_; }
  int HelpContext() const { return helpContext_; }
  bool ConversionRunning() const { return job_ != nullptr; }
  // An estimation, application or merge is running in the background.
  bool JobRunning() const { return work_ != nullptr; }

  // The report window of the last estimation, while it is open.
  TFormOutput* LastReport() const { return lastReport_; }
  // The lines of the merge page's text boxes: 0 GPS, 1 sensor, 2 output.
  std::vector<std::string> MergeLines(int box) const;
  // What Set As New Datum stores: the last successful Helmert estimate's
  // fitted parameters at full precision.
  const std::array<std::string, 7>& NewDatumValues() const { return newDatum_; }
  // "Set As New Datum" (modal).
  void OpenSetAsNewDatum();

  // Restores the settings, as when the window is first shown.
  void Restore();
  // Stores the settings, as when the window is asked to close.
  void Store();

  // Shows a report in a fresh report window.
  TFormOutput* ShowReport(const geotools::RichText& report);

  // Ends the program on the next close, whatever "Close To Tray" says,
  // without changing that setting (--quit-after).
  void SetQuitOnClose(bool quit) { quitOnClose_ = quit; }

  // A grid conversion's slice size (rows); tests make it small.
  void SetSliceRows(std::size_t rows) { sliceRows_ = rows; }
  void SetConversionThreads(unsigned threads) { threads_ = threads; }

 public slots:
  void CancelConversion();

 signals:
  void ConversionFinished();
  // A background estimation, application or merge ended and its results
  // are in the controls.
  void JobFinished();
  // The window closed for good (not to the tray).
  void Finished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Panel;
  struct GridSlot;

  void BuildMenus();
  void BuildConversionPage(int page);
  void BuildLsqPage(int page);
  void BuildMergePage();
  GridModel* AddControlGrid(const char* name, const char* header, std::size_t columns,
                            QWidget* parent);
  QWidget* BuildPanel(Panel& panel, QWidget* parent);
  GridSlot& AddGrid(const char* name, geodesy::PointReader reader, const char* regenHeader,
                    const char* restoreHeader, const char* load, const char* save,
                    const char* renumber, bool clearOnLoad, QWidget* parent);

  void RegenerateCells();
  static void FitColumns(QTableView& view);
  void PurgeCells();
  void LoadGrid(GridSlot& slot);
  void SaveGrid(GridSlot& slot);
  void RenumberGrid(GridSlot& slot);
  void CopyPoint(const Panel& panel);
  void PastePoint(const Panel& panel);
  void ToggleAngles(const Panel& panel);

  void RunPointAction(const geotools::ConversionAction& action);
  void StartGridAction(const geotools::ConversionAction& action);
  void ConversionSlice();
  void EndConversion();
  bool SetupFor(const geotools::ConversionAction& action, geotools::ConversionSetup& setup);

  void ToggleSelector(int selector);
  void ColourSelector(int selector);
  void ResetSelectors();
  void ToggleProjectionGroup();
  void OpenHelp();
  void SetCloseToTray(bool checked);
  void Fail(const std::string& message);
  void Warn(std::string_view message);
  bool Busy() const { return job_ != nullptr || work_ != nullptr; }

  // The least-squares pages (4 affine, 5 similarity, 6 Helmert).
  LsqPageWidgets& Lsq(int page) const;
  void LoadControlFile(int page);
  void Calculate(int page);
  void Apply(int page, bool inverse);
  void ShowLsqReport(int page, const std::string& text);

  // Background work of pages 4 to 7: the page is disabled and its progress
  // bar shown while `work` runs; `done` runs on this thread afterwards.
  void StartWork(int page, std::size_t total, geotools::BackgroundJob::Work work,
                 std::function<void()> done);
  void WorkTick();
  void EndWork();

  // The merge page.
  void LoadLog(int box);
  void FilterGps(bool clean);
  void Merge();
  void SaveMergedText();
  void ShowCounts();
  void ShowMergeProgress();

  QLineEdit* Edit(const QString& name) const;
  const Panel& PanelOfSelector(int selector) const;

  appkit::Dialogs& dialogs_;
  GeoFormPaths paths_;
  platform::IniStore ini_;
  QTabWidget* tabs_ = nullptr;
  std::vector<std::unique_ptr<Panel>> panels_;
  std::vector<std::unique_ptr<GridSlot>> grids_;
  std::array<QLineEdit*, 9> selectors_{};  // 1..8
  std::array<QProgressBar*, 4> progress_{};
  std::array<QPushButton*, 4> cancel_{};
  QGroupBox* grPar_ = nullptr;
  QTimer* timerUtm_ = nullptr;
  int blinkTicks_ = 0;
  std::array<QCheckBox*, 3> reportBoxes_{};
  QLabel* statusFile_ = nullptr;
  QAction* closeToTray_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  DatumWindow* datums_ = nullptr;
  TFormUnits* units_ = nullptr;
  Tfc* clipboard_ = nullptr;
  int helpContext_ = 30;
  bool restored_ = false;
  bool quitOnClose_ = false;

  // The running grid conversion.
  std::unique_ptr<geotools::GridConversion> job_;
  GridModel* jobTarget_ = nullptr;
  int jobPage_ = -1;
  QTimer* jobTimer_ = nullptr;
  std::size_t sliceRows_ = 16384;
  unsigned threads_;

  std::array<std::unique_ptr<LsqPageWidgets>, 3> lsq_;
  std::unique_ptr<MergePageWidgets> merge_;
  QPointer<TFormOutput> lastReport_;
  std::array<std::string, 7> newDatum_;

  // The running background work.
  std::unique_ptr<geotools::BackgroundJob> work_;
  std::function<void()> workDone_;
  int workPage_ = -1;
  std::size_t workTotal_ = 0;
  QTimer* workTimer_ = nullptr;
};

}  // namespace halvex::geokit
