// The recovery report of a recovered file: the verdict in words and what the user can do, the
// items per folder as the tree shows them, what is not shown and why, and, for experts, what
// was damaged where and where each folder's items came from.
#pragma once

#include <QDialog>

class QCheckBox;

namespace brevik {
class RecoveredBase;
}

namespace brevik::app {

class ReportDialog final : public QDialog {
    Q_OBJECT
  public:
    ReportDialog(const RecoveredBase& base, QWidget* parent = nullptr);
    QCheckBox* detailsBox() const { return details_; }

  private:
    QCheckBox* details_ = nullptr;
};

// The report as HTML (the dialog's content); `details` adds the section for experts.
QString reportHtml(const RecoveredBase& base, bool details = false);

}  // namespace brevik::app
