// The first step of Save As: how to save (everything or the selected items; .pst, .msg, .eml).
#pragma once

#include <QDialog>
#include <map>

#include "app/app_state.h"

class QRadioButton;

namespace brevik::app {

class SaveAsDialog final : public QDialog {
    Q_OBJECT
  public:
    SaveAsDialog(TaskCode mode, bool selectionAllowed, QWidget* parent = nullptr);
    TaskCode mode() const { return mode_; }
    QRadioButton* button(TaskCode mode) const { return buttons_.at(mode); }

  private:
    TaskCode mode_;
    std::map<TaskCode, QRadioButton*> buttons_;
};

// The prompt of the folder step for a mode, naming the output made from `fileName`.
QString savePrompt(TaskCode mode, const QString& fileName);

}  // namespace brevik::app
