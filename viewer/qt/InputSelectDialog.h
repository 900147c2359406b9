#pragma once
// The InputSelect dialog: a modal dialog with a word-wrapped prompt, a drop-down list of choices
// (no free typing) with the current value preselected, and the buttons OK and Cancel, laid out in
// dialog units of the form's font by InputSelectLayout.

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace Quorvane::Viewer {

class TInputSelectDialog : public QDialog {
  Q_OBJECT

 public:
  // choices are separated by CR LF; no item is preselected when value is not among them.
  TInputSelectDialog(const QString& caption, const QString& prompt, const QString& value, const QString& choices,
                     QWidget* parent = nullptr);

  // The chosen text (empty when nothing is chosen).
  QString Value() const;

 private:
  void LayOut();

  QLabel* FPrompt;
  QComboBox* FChoices;
  QPushButton* FOkButton;
  QPushButton* FCancelButton;
};

}  // namespace Quorvane::Viewer
