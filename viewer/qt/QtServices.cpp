#include "qt/QtServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>
#include <filesystem>
#include <thread>

#include "qt/InputSelectDialog.h"
#include "qt/JobDialogs.h"
#include "qt/QtConversions.h"
#include "zorp/base/FormatSettings.h"

namespace Quorvane::Viewer {

namespace {

const QString MessageCaption = QStringLiteral("Quorvane");

// Starts a save dialog in the suggested path's folder with its name filled in.
void Suggest(QFileDialog& dialog, const std::string& suggested) {
  if (suggested.empty()) return;
  const std::filesystem::path path(suggested);
  dialog.setDirectory(PathToQt(path.parent_path().string()));
  dialog.selectFile(PathToQt(path.filename().string()));
}

}  // namespace

bool TQtServices::PickFolder(const std::string& startFolder, std::string& chosen) {
  // As a URL, which keeps the bytes of a name that is not UTF-8 where the platform's dialog gives them.
  const QUrl folder = QFileDialog::getExistingDirectoryUrl(
      QApplication::activeWindow(), QStringLiteral("Select a directory"), UrlFromPath(startFolder),
      QFileDialog::ShowDirsOnly, {QStringLiteral("file")});
  chosen = PathFromUrl(folder);
  return !chosen.empty();
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
  Suggest(dialog, fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = NewPathFromQt(dialog.selectedFiles().constFirst());
  return true;
}

void TQtServices::SetClipboardText(const std::string& text) { QGuiApplication::clipboard()->setText(ToQt(text)); }

void TQtServices::OpenURL(const std::string& url) { QDesktopServices::openUrl(QUrl(ToQt(url))); }

bool TQtServices::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, MessageCaption, ToQt(text), QMessageBox::Yes | QMessageBox::No,
                  QApplication::activeWindow());
  return box.exec() == QMessageBox::Yes;
}

void TQtServices::ShowMessage(const std::string& text) {
  QMessageBox::information(QApplication::activeWindow(), MessageCaption, ToQt(text), QMessageBox::Ok);
}

void TQtServices::ShowReport(const std::string& text, bool failed) {
  TJobReportDialog dialog(ToQt(text), failed, QApplication::activeWindow());
  dialog.setWindowTitle(MessageCaption);
  dialog.exec();
}

bool TQtServices::InputTimeOffset(TTimeOffset& offset) {
  TTimeOffsetDialog dialog(offset, QApplication::activeWindow());
  if (dialog.exec() != QDialog::Accepted) return false;
  offset = dialog.Offset();
  return true;
}

bool TQtServices::InputLocation(TLocationText& location) {
  TLocationDialog dialog(location, QApplication::activeWindow());
  if (dialog.exec() != QDialog::Accepted) return false;
  location = dialog.Location();
  return true;
}

bool TQtServices::SaveCsvDialog(std::string& fileName) {
  QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("Export CSV"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(QStringLiteral("CSV files (*.csv);;Any file (*.*)"));
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  Suggest(dialog, fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = NewPathFromQt(dialog.selectedFiles().constFirst());
  return true;
}

void TQtServices::RunWithProgress(const std::string& title, const std::function<void(const TJobProgress&)>& work) {
  std::atomic<bool> cancelled{false}, finished{false};
  std::atomic<std::size_t> done{0}, total{0};
  std::exception_ptr failure;
  const Zorp::Base::TFormatSettings formats = Zorp::Base::FormatSettings();

  QProgressDialog dialog(ToQt(title), QStringLiteral("Cancel"), 0, 1, QApplication::activeWindow());
  dialog.setWindowTitle(MessageCaption);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  dialog.setMinimumDuration(300);
  dialog.setValue(0);

  std::thread worker([&] {
    Zorp::Base::SetFormatSettings(formats);
    try {
      work([&](std::size_t photosDone, std::size_t photos) {
        done = photosDone;
        total = photos;
        return !cancelled.load();
      });
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
  });
  // The GUI thread keeps painting and takes the Cancel click while it polls the worker.
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (dialog.wasCanceled()) cancelled = true;
    const std::size_t photos = total.load();
    if (photos > 0) {
      dialog.setMaximum(static_cast<int>(std::min<std::size_t>(photos, INT_MAX)));
      dialog.setValue(static_cast<int>(std::min<std::size_t>(done.load(), INT_MAX)));
    }
    if (finished) loop.quit();
  });
  poll.start(30);
  if (!finished) loop.exec();
  poll.stop();
  worker.join();
  dialog.close();
  if (failure) std::rethrow_exception(failure);
}

std::string TQtServices::PicturesFolder() {
  return ExistingPathFromQt(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
}

std::string TQtServices::HomeFolder() { return ExistingPathFromQt(QDir::homePath()); }

}  // namespace Quorvane::Viewer
