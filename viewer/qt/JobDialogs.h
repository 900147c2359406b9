#pragma once
// The dialogs of the Tools menu: the signed offset of Shift date/time, and the latitude, longitude
// and altitude of Set location. Both are modal with OK and Cancel.

#include <QDialog>

#include "core/PhotoJobs.h"
#include "core/ViewerServices.h"

class QComboBox;
class QLineEdit;
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

}  // namespace Quorvane::Viewer
