// The Options dialog: whether the user's default Outlook data files are added at start-up.
#pragma once

#include <QDialog>

class QCheckBox;

namespace brevik::app {

class OptionsDialog final : public QDialog {
    Q_OBJECT
  public:
    OptionsDialog(bool openDefaultFiles, QWidget* parent = nullptr);
    bool openDefaultFiles() const;
    QCheckBox* checkBox() const { return box_; }

  private:
    QCheckBox* box_;
};

}  // namespace brevik::app
