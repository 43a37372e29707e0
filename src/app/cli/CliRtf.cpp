// marktvoll-cli rtf: shows how a memo text will look in the shop.
#include "app/cli/CliCommand.h"

#include "core/RtfToText.h"
#include "core/TextUtil.h"

#include <QFile>
#include <QFileInfo>

namespace {

int runRtf(const QStringList &arguments)
{
    QStringList args = arguments;
    const bool html = mv::cli::takeFlag(args, QStringLiteral("--html"));
    int indent = 0;
    QString indentText;
    if (args.contains(QStringLiteral("--indent"))) {
        bool ok = false;
        if (mv::cli::takeOption(args, QStringLiteral("--indent"), indentText))
            indent = indentText.toInt(&ok);
        if (!ok) {
            mv::cli::err() << "--indent erwartet eine ganze Zahl." << Qt::endl;
            return 2;
        }
    }
    if (args.size() != 1) {
        mv::cli::err() << "Aufruf: marktvoll-cli rtf [--html] [--indent N] DATEI" << Qt::endl;
        return 2;
    }
    // Memo texts are far below this; a bigger file or a device is not one,
    // and reading it whole would only exhaust memory.
    constexpr qint64 kMaxBytes = 64 * 1024 * 1024;
    const QFileInfo info(args.first());
    if (info.exists() && !info.isFile()) {
        mv::cli::err() << args.first() << " ist keine Datei." << Qt::endl;
        return 1;
    }
    if (info.size() > kMaxBytes) {
        mv::cli::err() << "Die Datei " << args.first() << " ist zu groß für einen Memotext ("
                       << info.size() / (1024 * 1024) << " MB; höchstens " << kMaxBytes / (1024 * 1024) << " MB)."
                       << Qt::endl;
        return 1;
    }
    QFile file(args.first());
    if (!file.open(QIODevice::ReadOnly)) {
        mv::cli::err() << "Die Datei " << args.first() << " kann nicht gelesen werden: "
                       << file.errorString() << Qt::endl;
        return 1;
    }
    // Memo texts are Windows-1252 like everything the WaWi stores.
    const QString text = mv::FromAnsi(file.readAll());
    mv::cli::out() << mv::RtfToText(text, indent, html) << Qt::endl;
    return 0;
}

mv::cli::Register reg("rtf", "rtf [--html] [--indent N] DATEI", &runRtf);

} // namespace
