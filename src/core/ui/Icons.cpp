#include "core/ui/Icons.h"

#include <QFile>
#include <QHash>

// The resources live in a static library: make sure they are registered.
static void initUiResources()
{
    static bool done = false;
    if (!done) {
        done = true;
        Q_INIT_RESOURCE(ui);
    }
}

namespace mv {

void InitUiResources() { initUiResources(); }

namespace {
// freedesktop name -> bundled drawing
const QHash<QString, QString> &fallbacks()
{
    static const QHash<QString, QString> map = {
        {QStringLiteral("dialog-ok"), QStringLiteral("ok")},
        {QStringLiteral("dialog-cancel"), QStringLiteral("cancel")},
        {QStringLiteral("preferences-system"), QStringLiteral("settings")},
        {QStringLiteral("network-server"), QStringLiteral("database")},
        {QStringLiteral("network-server-database"), QStringLiteral("database")},
        {QStringLiteral("system-file-manager"), QStringLiteral("warehouse")},
        {QStringLiteral("document-properties"), QStringLiteral("document")},
        {QStringLiteral("x-office-address-book"), QStringLiteral("people")},
        {QStringLiteral("package-x-generic"), QStringLiteral("package")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("internet-news-reader"), QStringLiteral("news")},
        {QStringLiteral("help-faq"), QStringLiteral("help")},
        {QStringLiteral("help-browser"), QStringLiteral("help")},
        {QStringLiteral("x-office-spreadsheet"), QStringLiteral("money")},
        {QStringLiteral("mail-send"), QStringLiteral("truck")},
        {QStringLiteral("applications-internet"), QStringLiteral("globe")},
        {QStringLiteral("web-browser"), QStringLiteral("globe")},
        {QStringLiteral("go-up"), QStringLiteral("up")},
        {QStringLiteral("go-down"), QStringLiteral("down")},
        {QStringLiteral("network-transmit"), QStringLiteral("upload")},
        {QStringLiteral("view-refresh"), QStringLiteral("sync")},
        {QStringLiteral("utilities-terminal"), QStringLiteral("debug")},
        {QStringLiteral("mail-message-new"), QStringLiteral("mail")},
        {QStringLiteral("system-run"), QStringLiteral("wizard")},
        {QStringLiteral("application-exit"), QStringLiteral("exit")},
        {QStringLiteral("go-previous"), QStringLiteral("back")},
        {QStringLiteral("go-next"), QStringLiteral("forward")},
        {QStringLiteral("process-stop"), QStringLiteral("stop")},
        {QStringLiteral("emblem-default"), QStringLiteral("step-done")},
        {QStringLiteral("radio-unchecked"), QStringLiteral("step-open")},
        {QStringLiteral("preferences-desktop-font"), QStringLiteral("font")},
        {QStringLiteral("format-justify-left"), QStringLiteral("align-left")},
        {QStringLiteral("format-justify-center"), QStringLiteral("align-center")},
        {QStringLiteral("format-justify-right"), QStringLiteral("align-right")},
        {QStringLiteral("list-add"), QStringLiteral("add")},
        {QStringLiteral("list-remove"), QStringLiteral("remove")},
    };
    return map;
}
}

QIcon AppIcon(const QString &name)
{
    initUiResources();
    return QIcon(QStringLiteral(":/ui/icons/%1.svg").arg(name));
}

QIcon ThemeIcon(const QString &name)
{
    initUiResources();
    QIcon fallback;
    const QString own = fallbacks().value(name);
    if (!own.isEmpty())
        fallback = QIcon(QStringLiteral(":/ui/icons/%1.svg").arg(own));
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name, fallback);
    return fallback;
}

} // namespace mv
