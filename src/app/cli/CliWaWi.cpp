// marktvoll-cli wawi detect | dump | demo | catalog

#include "app/cli/CliCommand.h"

#include "core/Registry.h"
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/JsonRowWriter.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"
#include "wawi/WaWiDetect.h"
#include "wawi/WaWiSchema.h"

#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

namespace {

using namespace mv;
using namespace mv::cli;

const char kHelp[] =
    "  marktvoll-cli wawi detect [--program N] [--arg UNTERSCHLUESSEL]\n"
    "  marktvoll-cli wawi dump TABELLE [--dir ORDNER] [--index NAME] [--range VON BIS] [--filter AUSDRUCK] [--fields a,b,...]\n"
    "      eine JSON-Zeile je Datensatz (null für leere Felder)\n"
    "      Schlüsselteile in VON/BIS durch \";\" getrennt; leer = NULL; {low}/{high} = RangeLow/RangeHigh\n"
    "  marktvoll-cli wawi demo ORDNER [--articles N] [--addresses N] [--groups N] [--mandanten N] [--seed S] [--no-registry]\n"
    "      [--vorlagen ORDNER]  Bildvorlagen (Vorgabe: vorlagen im Programmordner)\n"
    "  marktvoll-cli wawi catalog\n";

int usage()
{
    err() << usageText(QStringLiteral("wawi")) << Qt::flush;
    return 2;
}

int runDetect(QStringList args)
{
    QString program, sub;
    takeOption(args, QStringLiteral("--program"), program);
    takeOption(args, QStringLiteral("--arg"), sub);
    if (!args.isEmpty())
        return usage();
    if (!loadSettingsForCli())
        return 1;
    auto &s = Settings();
    if (!sub.isEmpty())
        SetWaWiCommandLineArgument(sub);
    const int prog = program.isEmpty() ? s.VLB_Programm : program.toInt();
    const WaWiDetectResult r = DetectWaWi(true, prog);
    const auto &st = WaWiState();
    const QStringList names = WaWiProgramNames();
    out() << "Programm: " << s.VLB_Programm;
    if (s.VLB_Programm >= 0 && s.VLB_Programm < names.size())
        out() << " (" << names.at(s.VLB_Programm) << ")";
    out() << "\nRegPath: " << s.RegPath << "\nWaWiDir: " << s.WaWiDir << "\n";
    if (!st.connectionString.isEmpty())
        out() << "SQLVerbindung: " << st.connectionString << "\n";
    out() << "Edition: " << WaWiEdition() << "\n";
    if (r == WaWiDetectResult::NotFound) {
        out() << "Ergebnis: keine Warenwirtschaft gefunden\n";
        return 1;
    }
    if (r == WaWiDetectResult::AliasFailed) {
        out() << "Ergebnis: Datenverzeichnis nicht nutzbar: " << st.lastError << "\n";
        return 1;
    }
    if (r == WaWiDetectResult::MandantFailed)
        return 1;
    out() << "Mandanten:\n";
    for (int i = 0; i < st.mandantNames.size(); ++i)
        out() << (i == st.mandantListIndex ? "  * " : "    ") << (i + 1) << ": " << st.mandantNames.at(i) << "\n";
    out() << "Aktiv_Mandant: " << s.Aktiv_Mandant << "\nHauptwaehrung: " << s.Hauptwaehrung << "\nEuro: " << s.Euro
          << "\nEuroumstell: " << (s.Euroumstell ? "ja" : "nein") << "\nE_VK_Netto:";
    for (int n = 1; n <= 9; ++n)
        out() << " " << n << "=" << (s.E_VK_Netto[n] ? 1 : 0);
    out() << "\n";
    return 0;
}

QVariantList parseKey(const QString &text)
{
    QVariantList key;
    const QString low(Settings().RangeLow), high(Settings().RangeHigh);
    for (QString part : text.split(QLatin1Char(';'))) {
        if (part.isEmpty()) {
            key << QVariant();
            continue;
        }
        part.replace(QStringLiteral("{low}"), low);
        part.replace(QStringLiteral("{high}"), high);
        key << part;
    }
    return key;
}

int runDump(QStringList args)
{
    QString dirOpt, index, filter, fields, from, to;
    takeOption(args, QStringLiteral("--dir"), dirOpt);
    takeOption(args, QStringLiteral("--index"), index);
    takeOption(args, QStringLiteral("--filter"), filter);
    takeOption(args, QStringLiteral("--fields"), fields);
    const int ri = args.indexOf(QStringLiteral("--range"));
    if (ri >= 0) {
        if (ri + 2 >= args.size())
            return usage();
        from = args.at(ri + 1);
        to = args.at(ri + 2);
        args.remove(ri, 3);
    }
    if (args.size() != 1)
        return usage();
    const QString table = args.first();

    QString dir = dirOpt;
    if (dir.isEmpty()) {
        if (qEnvironmentVariableIsSet("MARKTVOLL_HOME")) {
            if (!loadSettingsForCli())
                return 1;
            if (DetectWaWi(true, Settings().VLB_Programm) == WaWiDetectResult::NotFound)
                return 1;
            dir = Settings().WaWiDir.trimmed();
        } else {
            InitPaths();
            dir = QDir::currentPath();
        }
    }
    TVLBTable t;
    t.SetTableName(table);
    t.SetDirectory(dir);
    if (!index.isEmpty()) {
        if (index.contains(QLatin1Char(';')))
            t.SetIndexFieldNames(index);
        else
            t.SetIndexName(index);
    }
    t.Open();
    for (const QString &w : t.Store()->Warnings())
        err() << "Warnung: " << w << "\n";
    err().flush();
    if (ri >= 0)
        t.SetRange(parseKey(from), parseKey(to));
    if (!filter.isEmpty()) {
        t.SetFilter(filter);
        t.SetFiltered(true);
    }
    QVector<Field *> cols;
    if (fields.isEmpty()) {
        for (int i = 0; i < t.FieldCount(); ++i)
            cols << t.FieldAt(i);
    } else {
        for (const QString &n : fields.split(QLatin1Char(','), Qt::SkipEmptyParts))
            cols << t.FieldByName(n.trimmed());
    }
    QVector<FieldDef> defs;
    for (const Field *f : cols)
        defs << f->Def();
    const JsonRowWriter writer(defs);
    QVector<QVariant> values(cols.size());
    QByteArray line;
    out().flush();
    for (t.First(); !t.Eof(); t.Next()) {
        for (int i = 0; i < cols.size(); ++i)
            values[i] = cols.at(i)->Value();
        line.resize(0);
        writer.AppendRow(line, values);
        line += '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
    std::fflush(stdout);
    return 0;
}

int runDemo(QStringList args)
{
    WaWiDemoOptions o;
    QString v;
    auto intOpt = [&](const char *name, int &target) {
        if (takeOption(args, QString::fromLatin1(name), v)) {
            bool ok = false;
            target = v.toInt(&ok);
            if (!ok || target < 0)
                throw std::invalid_argument(QStringLiteral("Ungültige Zahl für %1: %2").arg(QString::fromLatin1(name), v).toStdString());
        }
    };
    intOpt("--articles", o.articles);
    intOpt("--addresses", o.addresses);
    intOpt("--groups", o.groups);
    intOpt("--mandanten", o.mandanten);
    if (takeOption(args, QStringLiteral("--seed"), v))
        o.seed = v.toUInt();
    if (takeFlag(args, QStringLiteral("--no-registry")))
        o.registerInRegistry = false;
    const bool vorlagenGiven = takeOption(args, QStringLiteral("--vorlagen"), o.vorlagenDir);
    if (args.size() != 1)
        return usage();
    InitPaths();
    // Picture templates belong to the program folder, where the transfer looks.
    if (!vorlagenGiven)
        o.vorlagenDir = QDir(Settings().ExeDir).filePath(QStringLiteral("vorlagen"));
    QElapsedTimer timer;
    timer.start();
    WriteWaWiDemo(args.first(), o, [](const QString &t) { err() << t << "\n"; err().flush(); });
    out() << "Demo-Warenwirtschaft geschrieben: " << QDir(args.first()).absolutePath() << " (" << o.articles
          << " Artikel, " << o.addresses << " Adressen, " << o.mandanten << " Mandanten) in " << timer.elapsed()
          << " ms\n";
    if (o.registerInRegistry)
        out() << "Registriert in " << RegistryStorePath() << "\n";
    return 0;
}

int runWaWi(const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.isEmpty())
        return usage();
    const QString sub = args.takeFirst();
    if (sub == QLatin1String("detect"))
        return runDetect(args);
    if (sub == QLatin1String("dump"))
        return runDump(args);
    if (sub == QLatin1String("demo"))
        return runDemo(args);
    if (sub == QLatin1String("catalog")) {
        out() << WaWiCatalogText();
        return 0;
    }
    return usage();
}

Register reg("wawi", "wawi detect|dump|demo|catalog ...", &runWaWi, kHelp);

} // namespace
