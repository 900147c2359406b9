#include "qt/JobDialogs.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStyle>
#include <algorithm>

#include "qt/FormFont.h"
#include "qt/QtConversions.h"

namespace Quorvane::Viewer {

namespace {

constexpr std::int64_t SecondsPerDay = 86400;
// A century either way covers any camera clock set wrong.
constexpr int MaxDays = 36525;

QSpinBox* NewSpinBox(QWidget* parent, const char* name, int maximum, int value) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setRange(0, maximum);
  box->setValue(value);
  return box;
}

// The form above OK and Cancel.
QFormLayout* AddFormAndButtons(QDialog* dialog, const QString& explanation) {
  auto* column = new QVBoxLayout(dialog);
  auto* text = new QLabel(explanation, dialog);
  text->setWordWrap(true);
  column->addWidget(text);
  auto* form = new QFormLayout;
  column->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  column->addWidget(buttons);
  return form;
}

}  // namespace

TTimeOffsetDialog::TTimeOffsetDialog(const TTimeOffset& offset, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Shift date/time"));
  setModal(true);
  setFont(FormFont());
  QFormLayout* form = AddFormAndButtons(
      this, QStringLiteral("Moves the date/time, the original date/time and the digitized date/time of the selected "
                           "photos by this offset."));
  const std::int64_t size = offset.Seconds < 0 ? -offset.Seconds : offset.Seconds;
  const std::int64_t days = std::min<std::int64_t>(size / SecondsPerDay, MaxDays);
  FSign = new QComboBox(this);
  FSign->setObjectName(QStringLiteral("SignBox"));
  FSign->addItems({QStringLiteral("+ later"), QStringLiteral("- earlier")});
  FSign->setCurrentIndex(offset.Seconds < 0 ? 1 : 0);
  FDays = NewSpinBox(this, "DaysBox", MaxDays, static_cast<int>(days));
  FHours = NewSpinBox(this, "HoursBox", 23, static_cast<int>(size % SecondsPerDay / 3600));
  FMinutes = NewSpinBox(this, "MinutesBox", 59, static_cast<int>(size % 3600 / 60));
  FSeconds = NewSpinBox(this, "SecondsBox", 59, static_cast<int>(size % 60));
  form->addRow(QStringLiteral("Direction:"), FSign);
  form->addRow(QStringLiteral("Days:"), FDays);
  form->addRow(QStringLiteral("Hours:"), FHours);
  form->addRow(QStringLiteral("Minutes:"), FMinutes);
  form->addRow(QStringLiteral("Seconds:"), FSeconds);
}

TTimeOffset TTimeOffsetDialog::Offset() const {
  const std::int64_t seconds = FDays->value() * SecondsPerDay + FHours->value() * std::int64_t{3600} +
                               FMinutes->value() * std::int64_t{60} + FSeconds->value();
  return TTimeOffset{FSign->currentIndex() == 1 ? -seconds : seconds};
}

TLocationDialog::TLocationDialog(const TLocationText& location, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Set location"));
  setModal(true);
  setFont(FormFont());
  QFormLayout* form = AddFormAndButtons(
      this, QStringLiteral("Degrees as a decimal number (negative south and west) or as degrees, minutes and "
                           "seconds with N, S, E or W. The altitude may be left empty."));
  const auto field = [this](const char* name, const std::string& text, const char* example) {
    auto* edit = new QLineEdit(ToQt(text), this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(QString::fromUtf8(example));
    edit->setMinimumWidth(220);
    return edit;
  };
  FLatitude = field("LatitudeEdit", location.Latitude, "48.8584 or 48°51'30.2\"N");
  FLongitude = field("LongitudeEdit", location.Longitude, "2.2945 or 2°17'40.2\"E");
  FAltitude = field("AltitudeEdit", location.Altitude, "35");
  form->addRow(QStringLiteral("Latitude:"), FLatitude);
  form->addRow(QStringLiteral("Longitude:"), FLongitude);
  form->addRow(QStringLiteral("Altitude (m):"), FAltitude);
}

TLocationText TLocationDialog::Location() const {
  return TLocationText{FLatitude->text().toStdString(), FLongitude->text().toStdString(),
                       FAltitude->text().toStdString()};
}

TJobReportDialog::TJobReportDialog(const QString& text, bool failed, QWidget* parent) : QDialog(parent) {
  setModal(true);
  setFont(FormFont());
  const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
  auto* column = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("ReportIcon"));
  const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(
      style()
          ->standardIcon(failed ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation, nullptr, this)
          .pixmap(iconSize, iconSize));
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* headline = new QLabel(lineEnd < 0 ? text : text.left(lineEnd), this);
  headline->setObjectName(QStringLiteral("ReportHeadline"));
  headline->setWordWrap(true);
  headline->setTextInteractionFlags(Qt::TextSelectableByMouse);
  top->addWidget(headline, 1);
  column->addLayout(top);
  if (lineEnd >= 0) {
    FDetails = new QPlainTextEdit(text.mid(lineEnd + 1), this);
    FDetails->setObjectName(QStringLiteral("ReportDetails"));
    FDetails->setReadOnly(true);
    FDetails->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Room for a dozen lines; longer lists scroll.
    const int lineHeight = FDetails->fontMetrics().lineSpacing();
    FDetails->setMinimumSize(480, std::min(12, static_cast<int>(text.count(QLatin1Char('\n')))) * lineHeight + 12);
    column->addWidget(FDetails, 1);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  QObject::connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  column->addWidget(buttons);
}

}  // namespace Quorvane::Viewer
