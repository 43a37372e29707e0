// marktvoll-cli newsletter import FILE [--exclude] | newsletter list [--exclude]
// The newsletter lists of the program folder for administrators: imports
// follow the same check and exclusion rules as the window.

#include "app/cli/CliCommand.h"

#include "browse/NewsletterLists.h"
#include "core/ShopSettings.h"
#include "data/JsonRowWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

using namespace mv;
using T = NewsletterLists::Target;

bool looksLikeMbox(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(5) == "From ";
}

int runNewsletter(const QStringList &argsIn)
{
    QStringList args = argsIn;
    const bool exclude = cli::takeFlag(args, QStringLiteral("--exclude"));
    const bool isImport = args.size() == 2 && args[0] == QLatin1String("import");
    const bool isList = args.size() == 1 && args[0] == QLatin1String("list");
    if (!isImport && !isList) {
        cli::err() << cli::usageText(QStringLiteral("newsletter")) << Qt::flush;
        return 2;
    }
    if (!cli::loadSettingsForCli())
        return 1;
    NewsletterLists lists;
    for (const QString &m : lists.Open())
        cli::err() << m << Qt::endl;
    const T target = exclude ? T::Exclusions : T::Recipients;
    if (!lists.IsOpen(target))
        return 1;
    if (isList) {
        TableFile &t = lists.List(target);
        const JsonRowWriter writer(t.FieldDefs());
        QByteArray out;
        for (const auto &row : t.RawRows()) {
            writer.AppendRow(out, row);
            out += '\n';
        }
        cli::out().flush();
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        std::fflush(stdout);
        return 0;
    }
    const QString path = args[1];
    const QFileInfo info(path);
    if (!info.exists()) {
        cli::err() << "Datei " << path << " nicht gefunden" << Qt::endl;
        return 1;
    }
    NewsletterLists::Result r;
    const QString suffix = info.suffix().toLower();
    const bool mail = info.isDir() || suffix == QLatin1String("mbox") || suffix == QLatin1String("eml")
        || looksLikeMbox(path);
    if ((suffix == QLatin1String("vcf") || mail) && exclude) {
        cli::err() << "--exclude gilt nur für Text- und CSV-Dateien" << Qt::endl;
        return 2;
    }
    if (suffix == QLatin1String("vcf"))
        r = lists.ImportVCardFile(path);
    else if (mail)
        r = lists.ImportMailbox(path);
    else
        r = lists.ImportTextFile(target, path);
    const QString saveError = lists.Close();
    if (!r.error.isEmpty() || !saveError.isEmpty()) {
        cli::err() << (r.error.isEmpty() ? saveError : r.error) << Qt::endl;
        return 1;
    }
    if (r.candidates == 0) {
        // A picture, an empty file or a mailbox without senders: nothing was looked at.
        cli::err() << "Die Datei " << path << " enthält keine Adressen." << Qt::endl;
        return 1;
    }
    cli::out() << r.added << " von " << r.candidates << " Adressen übernommen" << Qt::endl;
    return 0;
}

mv::cli::Register reg("newsletter", "newsletter import DATEI [--exclude] | newsletter list [--exclude]",
                      &runNewsletter,
                      "  import  Text-/CSV-Datei, vCard-Datei (.vcf), mbox-Datei oder Maildir-Ordner in die\n"
                      "          Empfängerliste (mit --exclude: Textdatei in den Ausschluss)\n"
                      "  list    eine JSON-Zeile je Adresse der Empfängerliste (--exclude: des Ausschlusses)");

} // namespace
