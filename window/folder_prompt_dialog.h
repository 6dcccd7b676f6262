// Asks for a folder, with a prompt above the folder box and a Browse... button: the copy for
// backup ("Copy"/"Cancel") and the folder step of Save As ("Save"/"Back").
#pragma once

#include <QDialog>

class QLineEdit;
class QLabel;
class QPushButton;

namespace brevik::app {

class FolderPromptDialog final : public QDialog {
    Q_OBJECT
  public:
    enum class Mode { Copy = 0, SaveFolder = 2 };
    FolderPromptDialog(Mode mode, const QString& prompt, const QString& folder,
                       QWidget* parent = nullptr);
    QString folder() const;
    QLineEdit* folderBox() const { return folder_; }
    QPushButton* confirmButton() const { return confirm_; }

  private:
    QLineEdit* folder_;
    QPushButton* confirm_;
};

}  // namespace brevik::app
