// SPDX-License-Identifier: GPL-3.0-or-later
#include "appkit/QtDialogs.hpp"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace halvex::appkit {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QFileDialog* MakeFileDialog(QWidget* parent, const FileRequest& request) {
  auto* dialog = new QFileDialog(parent, Q(request.title), Q(request.directory),
                                 QtFilterFromPipes(request.filter));
  dialog->setAttribute(Qt::WA_DeleteOnClose, false);
  if (!request.default_suffix.empty()) dialog->setDefaultSuffix(Q(request.default_suffix));
  return dialog;
}

std::optional<std::string> RunFileDialog(QFileDialog* dialog) {
  std::optional<std::string> result;
  if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
    result = dialog->selectedFiles().first().toStdString();
  delete dialog;
  return result;
}

}  // namespace

QString QtFilterFromPipes(const std::string& filter) {
  const QStringList parts = Q(filter).split('|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (auto& p : patterns) {
      p = p.trimmed();
      if (p == "*.*") p = "*";
    }
    out << parts[i] + " (" + patterns.join(' ') + ")";
  }
  return out.join(";;");
}

bool QtDialogs::Confirm(const std::string& title, const std::string& text) {
  return QMessageBox::warning(parent_, Q(title), Q(text), QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes;
}

Answer QtDialogs::Ask(const std::string& title, const std::string& text) {
  switch (QMessageBox::question(parent_, Q(title), Q(text),
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                QMessageBox::Cancel)) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    default:
      return Answer::kCancel;
  }
}

void QtDialogs::Tell(Notice kind, const std::string& title, const std::string& text) {
  switch (kind) {
    case Notice::kInformation:
      QMessageBox::information(parent_, Q(title), Q(text));
      break;
    case Notice::kWarning:
      QMessageBox::warning(parent_, Q(title), Q(text));
      break;
    case Notice::kError:
      QMessageBox::critical(parent_, Q(title), Q(text));
      break;
  }
}

std::optional<std::string> QtDialogs::OpenFile(const FileRequest& request) {
  QFileDialog* dialog = MakeFileDialog(parent_, request);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  return RunFileDialog(dialog);
}

std::optional<std::string> QtDialogs::SaveFile(const FileRequest& request) {
  QFileDialog* dialog = MakeFileDialog(parent_, request);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  if (!request.confirm_overwrite) dialog->setOption(QFileDialog::DontConfirmOverwrite);
  return RunFileDialog(dialog);
}

}  // namespace halvex::appkit
