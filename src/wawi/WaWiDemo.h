#pragma once
// The demo WaWi: all tables the program uses, filled with German sample
// data, their index files, pictures, Lieferart.TXT, and the registry
// entries that let the detection find it.

#include <QByteArray>
#include <QString>
#include <QVariantList>

#include <functional>

namespace mv {

struct WaWiDemoOptions {
    int articles = 1000;
    int addresses = 200;
    int groups = 60;
    int mandanten = 2;
    quint32 seed = 4711;
    bool registerInRegistry = true;
    int programIndex = 3;     // registry key of this program
    int edition = 2;
    // The program folder's vorlagen folder: pictures that only the third
    // try of the picture look-up finds are written there (empty: not written).
    QString vorlagenDir;
    // Called with every record written (table file name, values in field order).
    std::function<void(const QString &table, const QVariantList &values)> onRecord;
};

// Writes the demo into dir (created when missing; existing tables are
// replaced). progress(text) reports each table. Throws std::exception
// with a German message on failure.
void WriteWaWiDemo(const QString &dir, const WaWiDemoOptions &opt,
                   const std::function<void(const QString &)> &progress = {});

// A JPEG of one flat colour, written by Qt's image writer.
QByteArray FlatColourJpeg(int width, int height, int r, int g, int b);

} // namespace mv
