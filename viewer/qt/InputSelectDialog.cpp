#include "qt/InputSelectDialog.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "core/InputSelectLayout.h"
#include "qt/FormFont.h"
#include "qt/QtConversions.h"
#include "zorp/base/TextEncoding.h"

namespace Quorvane::Viewer {

TInputSelectDialog::TInputSelectDialog(const QString& caption, const QString& prompt, const QString& value,
                                       const QString& choices, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      FPrompt(new QLabel(prompt, this)),
      FChoices(new QComboBox(this)),
      FOkButton(new QPushButton(QStringLiteral("OK"), this)),
      FCancelButton(new QPushButton(QStringLiteral("Cancel"), this)) {
  setWindowTitle(caption);
  setModal(true);
  setFont(FormFont());
  FPrompt->setWordWrap(true);
  FPrompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FChoices->setEditable(false);
  const std::string text = choices.toStdString();
  for (const std::string_view line : Zorp::Base::SplitLines(text))
    FChoices->addItem(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
  FChoices->setCurrentIndex(FChoices->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive));
  FOkButton->setDefault(true);
  connect(FOkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(FCancelButton, &QPushButton::clicked, this, &QDialog::reject);
  LayOut();
}

QString TInputSelectDialog::Value() const { return FChoices->currentText(); }

// Dialog units: X is the average width of the 52 letters, Y the font's height.
void TInputSelectDialog::LayOut() {
  const QFontMetrics metrics(font());
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int unitX = qRound(metrics.horizontalAdvance(letters) / 52.0);
  const int unitY = metrics.height();
  const int promptHeight =
      metrics.boundingRect(QRect(0, 0, InputSelectPromptWidth(unitX), 0), Qt::TextWordWrap, FPrompt->text()).height();
  const TInputSelectLayout layout = InputSelectLayout(unitX, unitY, promptHeight, FChoices->sizeHint().height());
  FPrompt->setGeometry(ToQRect(layout.Prompt));
  FChoices->setGeometry(ToQRect(layout.Choices));
  FOkButton->setGeometry(ToQRect(layout.OkButton));
  FCancelButton->setGeometry(ToQRect(layout.CancelButton));
  setFixedSize(layout.ClientWidth, layout.ClientHeight);
  const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    QRect frame(QPoint(), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace Quorvane::Viewer
