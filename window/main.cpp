// brevik: the desktop program.
#include <QApplication>
#include <QCommandLineParser>
#include <csignal>
#include <exception>
#include <memory>

#include "app/app_state.h"
#include "platform/prompter.h"
#include "platform/qt_settings_store.h"
#include "window/main_window.h"

#ifdef BREVIK_MIMALLOC
#include <mimalloc.h>
#endif

int main(int argc, char** argv) {
    using namespace brevik;
#ifdef BREVIK_MIMALLOC
    // As on the command line: memory in 2 MiB pages, segments committed whole, and what a
    // recovery frees kept for a second for the next.
    mi_option_enable(mi_option_large_os_pages);
    mi_option_set(mi_option_decommit_delay, 1000);
    mi_option_set(mi_option_eager_commit_delay, 0);
#endif
    // A file-size limit makes writes fail with EFBIG instead of killing the program (POSIX only).
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(app::kSettingsOrganisation));
    QApplication::setApplicationName(QString::fromLatin1(app::kProductName));
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    QApplication::setDesktopFileName(QStringLiteral("brevik"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/resources/icons/brevik.svg")));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Recovers folders and items from damaged or healthy Outlook data files."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Outlook data files (.pst, .ost) to add; the first "
                                                "one is recovered at once."),
                                 QStringLiteral("[FILE...]"));
    parser.process(application);

    platform::QtSettingsStore settings;
    app::AppEnvironment env = platform::desktopEnvironment(&settings);
    env.showMessage = [](const std::string& text) {
        platform::Prompter::current().warn(nullptr, QString::fromStdString(text));
    };
    std::unique_ptr<app::AppState> state;
    try {
        state = std::make_unique<app::AppState>(env);
    } catch (const std::exception& e) {
        platform::Prompter::current().warn(nullptr, QString::fromUtf8(e.what()));
        return 1;
    }
    int rc = 0;
    {
        app::MainWindow window(*state, &settings);
        window.showWithLayout();
        window.addFiles(parser.positionalArguments(), true);
        rc = QApplication::exec();
    }
    state.reset();
    return rc;
}
