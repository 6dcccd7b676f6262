// The About box: the program's own icon, its name and version, and what it was built with.
#pragma once

#include <QDialog>

namespace brevik::app {

class AboutDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);
    // The text shown, for tests.
    QString text() const;

  private:
    QString text_;
};

}  // namespace brevik::app
