#include "core/ProgramFolder.h"
#include "core/ShopSettings.h"
#include "core/ui/GuiUiHooks.h"
#include "core/ui/Translations.h"
#include "shell/TFM_Haupt.h"
#include "wawi/WaWiDetect.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char **argv)
{
    QElapsedTimer clock;
    clock.start();
    // Answered before anything needs a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("marktvoll %s\n", MV_VERSION);
        return 0;
    }
    // The embedded browser shares GL contexts with the frame; it must be
    // set before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#ifdef Q_OS_UNIX
    // Chromium refuses to start its sandbox as root (containers, kiosks).
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marktvoll DatenManager"));
    // No display name: the window system would append it to every window's
    // title, and a child window's title is its own caption.

    // Qt's own dialogs and menus speak German too.
    mv::LoadGermanTranslations();

    // The first argument names a branch sub-key of the WaWi's registry key.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1)
        mv::SetWaWiCommandLineArgument(args.at(1));

    // An installed program works in the user's own folder, made from the
    // templates on first start; without it nothing can be saved.
    const mv::TemplateSyncResult folder = mv::PrepareProgramFolder();
    const QString folderText = folder.Summary(mv::CurrentProgramFolder().path);
    if (!folderText.isEmpty())
        std::fprintf(stderr, "%s\n", folderText.toLocal8Bit().constData());
    const bool headless = QGuiApplication::platformName() == QLatin1String("offscreen")
                          || QGuiApplication::platformName() == QLatin1String("minimal");
    if (!folder.ok) {
        if (!headless)
            QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), folder.error);
        return 2;
    }

    mv::GuiUiHooks hooks;
    mv::SetUiHooks(&hooks);

    auto *main = new mv::TFM_Haupt;
    hooks.onProgress = [main](int p, int m, const QString &t) { main->ShowProgress(p, m, t); };
    hooks.onStatus = [main](const QString &t) { main->ShowStatus(t); };
    hooks.onLog = [main](const QString &t) { main->ShowStatus(t); };
    main->showMaximized();
    main->CreateLongLivedWindows();
    if (!folder.created && !folderText.isEmpty()) {
        // Not modal: a start without a user (offscreen) must not wait on it.
        auto *box = new QMessageBox(QMessageBox::Information, QApplication::applicationDisplayName(), folderText,
                                    QMessageBox::Ok, main);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }

    if (qEnvironmentVariableIsSet("MARKTVOLL_STARTUP_TIME")) {
        // Reported once the show handler ran and the event loop is idle:
        // the window is usable then.
        QObject::connect(main, &mv::TFM_Haupt::Started, [&clock] {
            std::fprintf(stderr, "startup %lld ms\n", static_cast<long long>(clock.elapsed()));
            if (qEnvironmentVariable("MARKTVOLL_STARTUP_TIME") == QLatin1String("quit"))
                QApplication::quit();
        });
    }

    // For the documentation: a picture of the screen once the start is done.
    const QString shot = qEnvironmentVariable("MARKTVOLL_SCREENSHOT");
    if (!shot.isEmpty()) {
        const int delay = qEnvironmentVariableIntValue("MARKTVOLL_SCREENSHOT_DELAY");
        QTimer::singleShot(delay > 0 ? delay : 2000, [shot] {
            QApplication::primaryScreen()->grabWindow(0).save(shot);
            QApplication::exit(0);
        });
    }

    const int rc = app.exec();
    mv::SetUiHooks(nullptr);
    delete main;
    return rc;
}
