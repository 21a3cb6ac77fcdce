// SPDX-License-Identifier: GPL-3.0-or-later
// The log merge page of the main window (page 7): a GPS log and a sensor
// log loaded and filtered, merged in the background by geotools/lsq's
// LogMerge, and the result saved. The three text boxes are list views over
// the logs' lines, so that logs of a million lines show and scroll at once.
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>

#include "geotools/app/GeoForm.hpp"
#include "geotools/app/PageWidgets.hpp"
#include "platform/FileIo.hpp"

namespace halvex::geokit {

namespace {

constexpr const char* kLogFilter =
    "Log Files [*.log;*.txt;*.nmea]|*.log;*.txt;*.nmea|All Files [*.*]|*.*";

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

void TGeoForm::BuildMergePage() {
  merge_ = std::make_unique<MergePageWidgets>();
  MergePageWidgets& m = *merge_;
  auto* widget = new QWidget(tabs_);
  widget->setObjectName("SMTab");
  auto* layout = new QVBoxLayout(widget);

  auto memo = [&](const char* name, const char* title, LogLinesModel*& model) {
    auto* box = new QGroupBox(title, widget);
    auto* boxLayout = new QVBoxLayout(box);
    model = new LogLinesModel(this);
    auto* view = new QListView(box);
    view->setObjectName(name);
    view->setModel(model);
    view->setUniformItemSizes(true);
    view->setFont(QFont("Monospace", 8));
    boxLayout->addWidget(view);
    return box;
  };
  auto button = [&](const char* name, const char* text, auto handler) {
    auto* b = new QPushButton(text, widget);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, handler);
    return b;
  };
  auto combo = [&](const char* name, QStringList items, const char* current) {
    auto* c = new QComboBox(widget);
    c->setObjectName(name);
    c->setEditable(true);
    c->addItems(items);
    c->setCurrentText(current);
    return c;
  };

  auto* inputs = new QHBoxLayout;
  inputs->addWidget(memo("GPSMemo", "Date and Time Stamped NMEA GGA Log", m.gps), 1);
  inputs->addWidget(memo("SonarMemo", "Date and Time Stamped Sensor Data", m.sensor), 1);
  layout->addLayout(inputs, 3);

  auto* controls = new QGridLayout;
  m.ggaFormat = new QLineEdit("$GPGGA", widget);
  m.ggaFormat->setObjectName("GGAFormat");
  m.sensorFormat = combo("SensorFormatString",
                         {" 1 ", " 2 ", " 3 ", "DBT", "DPT", "DBK", "DBS", "HDT", "SMT"}, " 3 ");
  QStringList clean{",,,,,"};
  for (int q = 1; q <= 9; ++q) clean << QString(",E,%1,").arg(q);
  m.fixKind = combo("FixKind", clean, ",,,,,");
  QStringList good;
  for (int q = 0; q <= 9; ++q) good << QString(",E,%1,").arg(q);
  m.goodFixKind = combo("GoodFixKind", good, ",E,4,");
  m.interval = new QLineEdit("1000", widget);
  m.interval->setObjectName("GPSIntervalEdit");
  m.gpsCount = new QLabel("GPS Data Count: ", widget);
  m.gpsCount->setObjectName("GPSCount");
  m.sonarCount = new QLabel("Sensor Data Count: ", widget);
  m.sonarCount->setObjectName("SonarCount");
  m.label12 = new QLabel("Generated Coordinates:", widget);
  m.label12->setObjectName("Label12");

  controls->addWidget(button("SpeedButton55", "NMEA GGA", [this] { LoadLog(0); }), 0, 0);
  controls->addWidget(new QLabel("Search String", widget), 0, 1);
  controls->addWidget(m.ggaFormat, 0, 2);
  controls->addWidget(m.gpsCount, 0, 3);
  controls->addWidget(button("SpeedButton56", "NMEA SENSOR", [this] { LoadLog(1); }), 1, 0);
  controls->addWidget(new QLabel("Sensor Search String", widget), 1, 1);
  controls->addWidget(m.sensorFormat, 1, 2);
  controls->addWidget(m.sonarCount, 1, 3);
  controls->addWidget(button("SpeedButton58", "Clean Fix :", [this] { FilterGps(true); }), 2, 0);
  controls->addWidget(m.fixKind, 2, 2);
  controls->addWidget(button("SpeedButton59", "Only Keep Fix :", [this] { FilterGps(false); }), 3,
                      0);
  controls->addWidget(m.goodFixKind, 3, 2);
  controls->addWidget(new QLabel("Interval (ms)", widget), 4, 1);
  controls->addWidget(m.interval, 4, 2);
  controls->addWidget(button("SpeedButton57", "Merge", [this] { Merge(); }), 4, 0);
  controls->addWidget(m.label12, 4, 3);
  controls->addWidget(button("SMSaveAs", "Save As...", [this] { SaveMergedText(); }), 5, 0);
  controls->setColumnStretch(3, 1);
  layout->addLayout(controls);

  layout->addWidget(memo("SMProcessedMemo", "Post Processed Data", m.output), 2);
  m.progress = new QProgressBar(widget);
  m.progress->setObjectName("ProgressBar8");
  m.progress->setVisible(false);
  layout->addWidget(m.progress);
  tabs_->addTab(widget, "Survey Log Merge");
}

std::vector<std::string> TGeoForm::MergeLines(int box) const {
  const LogLinesModel* model = box == 0 ? merge_->gps : box == 1 ? merge_->sensor : merge_->output;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < model->Lines().size(); ++i) {
    lines.emplace_back(model->Lines()[i]);
  }
  return lines;
}

void TGeoForm::ShowCounts() {
  merge_->gpsCount->setText(Q(geotools::GpsCountText(merge_->gps->Lines().size())));
  merge_->sonarCount->setText(Q(geotools::SensorCountText(merge_->sensor->Lines().size())));
}

void TGeoForm::ShowMergeProgress() {
  // The merge reports the sensor index of each line written, plus one.
  if (work_ && work_->Progress() > 0) {
    merge_->label12->setText(QString("Number of lines processed: %1").arg(work_->Progress() - 1));
  }
}

void TGeoForm::LoadLog(int box) {
  if (Busy()) return;
  MergePageWidgets& m = *merge_;
  LogLinesModel* model = box == 0 ? m.gps : m.sensor;
  const auto file =
      dialogs_.OpenFile({box == 0 ? "GPS LOG FILE" : "SONAR / SENSOR LOG FILE",
                         paths_.programFolder.string(), kLogFilter, "", false});
  if (file) {
    try {
      std::optional<std::string> text = platform::ReadWholeFile(*file);
      if (text) {
        model->SetLines(geotools::LogLines(std::move(*text)));
      } else {
        Fail("Cannot read " + *file + ": no such file.");
      }
    } catch (const std::exception& e) {
      Fail(e.what());
    }
  }
  // The search text applies whether or not a new file came in.
  const std::string needle = Utf8(box == 0 ? m.ggaFormat->text() : m.sensorFormat->currentText());
  model->Edit([&needle](geotools::LogLines& lines) { geotools::KeepContaining(lines, needle); });
  ShowCounts();
}

void TGeoForm::FilterGps(bool clean) {
  if (Busy()) return;
  MergePageWidgets& m = *merge_;
  const std::string needle = Utf8(clean ? m.fixKind->currentText() : m.goodFixKind->currentText());
  m.gps->Edit([&](geotools::LogLines& lines) {
    if (clean) {
      geotools::CleanFix(lines, needle);
    } else {
      geotools::OnlyKeepFix(lines, needle);
    }
  });
  ShowCounts();
}

void TGeoForm::Merge() {
  if (Busy()) return;
  MergePageWidgets& m = *merge_;
  const geotools::LogLines& gps = m.gps->Lines();
  const geotools::LogLines& sensor = m.sensor->Lines();
  const std::string interval = Utf8(m.interval->text());
  struct Outcome {
    geotools::LogLines lines;
    bool ok = false;
    std::string error;
  };
  auto outcome = std::make_shared<Outcome>();
  StartWork(
      7, sensor.size(),
      [&gps, &sensor, interval, outcome](const geotools::BackgroundJob::ProgressSink& progress) {
        geotools::MergeResult result = geotools::MergeLogs(
            gps, sensor, interval, [&progress](std::size_t i) { progress(i + 1); });
        outcome->ok = result.ok;
        outcome->error = std::move(result.error);
        outcome->lines = geotools::LogLines(std::move(result.text));
      },
      [this, outcome] {
        merge_->output->SetLines(std::move(outcome->lines));
        if (!outcome->ok) Fail(outcome->error);
      });
}

void TGeoForm::SaveMergedText() {
  if (Busy()) return;
  const auto file = dialogs_.SaveFile({"PROSES EDILMIS VERIYI KAYDET", paths_.programFolder.string(),
                                       "Text Files [*.txt]|*.txt|All Files [*.*]|*.*", "txt", true});
  if (!file) return;
  try {
    geotools::SaveMerged(*file, merge_->output->Lines().Text());
  } catch (const std::exception& e) {
    Fail(std::string("The merged data were not saved. ") + e.what());
  }
}

}  // namespace halvex::geokit
