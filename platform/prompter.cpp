#include "platform/prompter.h"

#include <QMessageBox>

namespace brevik::platform {

namespace {

// Caption-less boxes carry the product name: a window without a title looks broken.
class MessageBoxPrompter final : public Prompter {
  public:
    void inform(QWidget* parent, const QString& text) override {
        QMessageBox::information(parent, QStringLiteral("Brevik"), text);
    }
    void warn(QWidget* parent, const QString& text) override {
        QMessageBox::warning(parent, QStringLiteral("Brevik"), text);
    }
    bool ask(QWidget* parent, const QString& text) override {
        return QMessageBox::question(parent, QStringLiteral("Brevik"), text) == QMessageBox::Yes;
    }
};

MessageBoxPrompter boxes;
Prompter* installed = nullptr;

}  // namespace

Prompter& Prompter::current() {
    return installed ? *installed : boxes;
}
void Prompter::install(Prompter* prompter) {
    installed = prompter;
}

}  // namespace brevik::platform
