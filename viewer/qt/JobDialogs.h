#pragma once
// The dialogs of the Tools menu: the signed offset of Shift date/time, and the latitude, longitude
// and altitude of Set location, both modal with OK and Cancel; and the report at a job's end.

#include <QDialog>

#include "core/PhotoJobs.h"
#include "core/ViewerServices.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace Quorvane::Viewer {

// A sign ("+ later" or "- earlier") and four spin boxes: days, hours, minutes, seconds.
class TTimeOffsetDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TTimeOffsetDialog(const TTimeOffset& offset, QWidget* parent = nullptr);
  TTimeOffset Offset() const;

 private:
  QComboBox* FSign;
  QSpinBox* FDays;
  QSpinBox* FHours;
  QSpinBox* FMinutes;
  QSpinBox* FSeconds;
};

// Three text fields; the texts are checked by the controller, which brings the dialog back.
class TLocationDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TLocationDialog(const TLocationText& location, QWidget* parent = nullptr);
  TLocationText Location() const;

 private:
  QLineEdit* FLatitude;
  QLineEdit* FLongitude;
  QLineEdit* FAltitude;
};

// A job's report: its first line beside an information icon, or a warning icon when some photo
// failed; the lines after it in a scrolling box, so that a long list keeps OK on the screen.
class TJobReportDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TJobReportDialog(const QString& text, bool failed, QWidget* parent = nullptr);

 private:
  QPlainTextEdit* FDetails = nullptr;
};

}  // namespace Quorvane::Viewer
