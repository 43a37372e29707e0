#pragma once
// Marks of the set-up assistant's steps set by logic (writing config.php
// opens "shopcfg" again, a finished upload marks steps done). The
// assistant window listens; without one (command-line tool) the marks go
// straight into the shared settings, which ShopMod.ini keeps.

#include <QObject>
#include <QString>

namespace mv {

class AssistantSteps : public QObject {
    Q_OBJECT
public:
    static AssistantSteps &Instance();

    void MarkStepDone(const QString &step);
    void MarkStepOpen(const QString &step);
    // Panel and item of a step key (lower-cased); false for no step.
    static bool Locate(const QString &step, int &panel, int &item);

signals:
    void stepMarked(const QString &step, bool done);

private:
    void mark(const QString &step, bool done);
};

} // namespace mv
