// Converts a typical 20 kB article long text (as the WaWi's rich-edit
// control writes it) again and again; prints texts per second.
//   build/bench_rtf [seconds per mode] [plain|html]
#include "core/RtfToText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <ctime>

namespace {

QString articleText()
{
    QString rtf = QStringLiteral(
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
        "{\\f1\\fnil\\fcharset2 Symbol;}{\\f2\\froman\\fcharset0 Times New Roman;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}\r\n"
        "{\\*\\generator Msftedit 5.41.21.2510;}\\viewkind4\\uc1\\pard\\lang1031\\f0\\fs20 ");
    const QString paragraph = QStringLiteral(
        "Der B\\'fcrostuhl \\b Komfort Plus\\b0  ist f\\'fcr lange Arbeitstage gemacht: die Sitzh\\'f6he "
        "l\\'e4sst sich stufenlos von 42 bis 55 cm einstellen, die R\\'fcckenlehne passt sich jeder "
        "Bewegung an und die \\i atmungsaktive\\i0  Netzbespannung sorgt f\\'fcr ein angenehmes Sitzklima. "
        "Gro\\'dfe Rollen f\\'fcr harte B\\'f6den, Preis ab 249,00 \\'80 bzw. \\u8364? 199,00 im Angebot.\\par\r\n");
    const QString list = QStringLiteral(
        "\\pard{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}\\fi-720\\li720 "
        "Belastbar bis 120 kg\\par\r\n{\\pntext\\f1\\'b7\\tab}Armlehnen \\cf1 h\\'f6henverstellbar\\cf0\\par\r\n"
        "{\\pntext\\f1\\'b7\\tab}Bezug: Stoff, Farbe \\ul Anthrazit\\ulnone\\par\r\n\\pard ");
    int n = 0;
    while (rtf.size() < 20000) {
        if (n % 4 == 3)
            rtf += list;
        else if (n % 4 == 1)
            rtf += QStringLiteral("\\pard\\qc\\cf2\\b Unser Tipp:\\b0\\cf0  passend dazu die Fu\\'dfst\\'fctze!\\par\r\n\\pard ");
        else
            rtf += paragraph;
        ++n;
    }
    rtf += QStringLiteral("\\par\r\n}\r\n");
    return rtf;
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Texts per second of this thread's CPU time: the machine is shared, and
// wall-clock time would measure the neighbours.
double run(const QString &text, bool html, double seconds, qsizetype &outSize, double &wallRate)
{
    QElapsedTimer t;
    t.start();
    const double cpu0 = cpuSeconds();
    qint64 count = 0;
    while (cpuSeconds() - cpu0 < seconds) {
        for (int i = 0; i < 50; ++i)
            outSize = mv::RtfToText(text, 0, html).size();
        count += 50;
    }
    wallRate = double(count) * 1e9 / double(t.nsecsElapsed());
    return double(count) / (cpuSeconds() - cpu0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 3.0;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString text = articleText();
    qsizetype outPlain = 0, outHtml = 0;
    double wallPlain = 0, wallHtml = 0;
    run(text, false, 0.3, outPlain, wallPlain);   // warm up
    const double plain = only == QLatin1String("html") ? 0 : run(text, false, seconds, outPlain, wallPlain);
    const double html = only == QLatin1String("plain") ? 0 : run(text, true, seconds, outHtml, wallHtml);
    std::printf("input %lld characters\n", static_cast<long long>(text.size()));
    std::printf("plain: %.0f texts/s of CPU time (%.0f wall-clock), output %lld characters\n", plain,
                wallPlain, static_cast<long long>(outPlain));
    std::printf("html:  %.0f texts/s of CPU time (%.0f wall-clock), output %lld characters\n", html,
                wallHtml, static_cast<long long>(outHtml));
    return 0;
}
