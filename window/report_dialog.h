// The recovery report of a recovered file: whether data was lost, what was damaged and where,
// what was rebuilt, and where each folder's items came from.
#pragma once

#include <QDialog>

namespace brevik {
class RecoveredBase;
}

namespace brevik::app {

class ReportDialog final : public QDialog {
    Q_OBJECT
  public:
    ReportDialog(const RecoveredBase& base, QWidget* parent = nullptr);
};

// The report as HTML (the dialog's content).
QString reportHtml(const RecoveredBase& base);

}  // namespace brevik::app
