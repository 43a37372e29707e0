// Second process of the run-lock tests: takes the run lock of a program
// folder without waiting, says "lauf" and holds it for the given time, or
// prints why not and exits with the transfer's lock status.
//   runlock_helper FOLDER HOLD_MS
#include "transfer/RunLock.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 64;
    mv::RunLock lock(args.at(1));
    if (!lock.Acquire(0)) {
        std::printf("gesperrt: %s\n", lock.Message().toUtf8().constData());
        return mv::kExitRunLocked;
    }
    std::printf("lauf\n");
    std::fflush(stdout);
    QThread::msleep(args.at(2).toULong());
    return 0;
}
