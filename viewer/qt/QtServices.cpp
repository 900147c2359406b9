#include "qt/QtServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>

#include "qt/InputSelectDialog.h"
#include "qt/QtConversions.h"

namespace Quorvane::Viewer {

namespace {

const QString MessageCaption = QStringLiteral("Quorvane");

}  // namespace

bool TQtServices::PickFolder(const std::string& startFolder, std::string& chosen) {
  const QString folder = QFileDialog::getExistingDirectory(
      QApplication::activeWindow(), QStringLiteral("Select a directory"), ToQt(startFolder), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return false;
  chosen = folder.toStdString();
  return true;
}

bool TQtServices::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  bool ok = false;
  const QString text = QInputDialog::getText(QApplication::activeWindow(), ToQt(caption), ToQt(prompt),
                                             QLineEdit::Normal, ToQt(value), &ok);
  if (ok) value = text.toStdString();
  return ok;
}

bool TQtServices::InputSelect(const std::string& caption, const std::string& prompt, std::string& value,
                              const std::string& choices) {
  TInputSelectDialog dialog(ToQt(caption), ToQt(prompt), ToQt(value), ToQt(choices), QApplication::activeWindow());
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.Value().toStdString();
  return true;
}

TDialogAnswer TQtServices::AskYesNoCancel(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, MessageCaption, ToQt(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QApplication::activeWindow());
  switch (box.exec()) {
    case QMessageBox::Yes:
      return TDialogAnswer::Yes;
    case QMessageBox::No:
      return TDialogAnswer::No;
    default:
      return TDialogAnswer::Cancel;
  }
}

void TQtServices::ShowError(const std::string& message) {
  QMessageBox::critical(QApplication::activeWindow(), MessageCaption, ToQt(message), QMessageBox::Ok);
}

bool TQtServices::SaveDialog(std::string& fileName) {
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(QStringLiteral("TEXT files (*.txt);;Any file (*.*)"));
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = dialog.selectedFiles().constFirst().toStdString();
  return true;
}

void TQtServices::SetClipboardText(const std::string& text) { QGuiApplication::clipboard()->setText(ToQt(text)); }

void TQtServices::OpenURL(const std::string& url) { QDesktopServices::openUrl(QUrl(ToQt(url))); }

std::string TQtServices::PicturesFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
}

std::string TQtServices::HomeFolder() { return QDir::homePath().toStdString(); }

}  // namespace Quorvane::Viewer
