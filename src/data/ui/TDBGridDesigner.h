#pragma once
// Keeps a grid's column layout and colours in a pair of layout files and
// opens the column designer.

#include <QObject>
#include <QPointer>
#include <QStringList>

#include "data/GridLayout.h"

namespace mv {

class TDBBGrid;

class TDBGridDesigner : public QObject {
    Q_OBJECT
public:
    explicit TDBGridDesigner(QObject *parent = nullptr);

    TDBBGrid *DBGrid() const { return m_grid; }
    void SetDBGrid(TDBBGrid *g) { m_grid = g; }
    QString Cfg() const { return m_cfg; }
    // Loads at once when a grid is set, Autoload is on and the path is not empty.
    void SetCfg(const QString &path);
    bool Autoload = false;
    bool Autosave = false;
    bool TwoColor = true;
    qint32 ColorL = WinColor::clWindow;
    qint32 ColorH = WinColor::clInfoBk;
    // The colour file's lines in memory.
    QStringList ColorList;

    void Load() { LoadFromFile(m_cfg); }
    void LoadFromFile(const QString &path);
    void Save() { SaveToFile(m_cfg); }
    void SaveToFile(const QString &path);
    // Opens the designer dialog modally; false when it could not run.
    bool TabellenEditor();

    // Applies a colour list to a grid (two-colour flag, ColorL, ColorH,
    // font colour, each only when present).
    static void ApplyColors(TDBBGrid *grid, const QStringList &colorList);

private:
    QPointer<TDBBGrid> m_grid;
    QString m_cfg;
};

} // namespace mv
