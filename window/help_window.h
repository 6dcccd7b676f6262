// The user guide, bundled with the program and shown in its own window.
#pragma once

#include <QDialog>

namespace brevik::app {

class HelpWindow final : public QDialog {
    Q_OBJECT
  public:
    explicit HelpWindow(QWidget* parent = nullptr);
};

}  // namespace brevik::app
