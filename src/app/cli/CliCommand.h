#pragma once
// Each command of marktvoll-cli lives in its own file and registers itself:
//   static mv::cli::Register reg("rtf", "rtf [--html] [--indent N] FILE", &runRtf);
// The runner gets the arguments after the command name and returns the
// exit status. "--help" or "-h" among them never reaches the runner: the
// tool prints "Aufruf: marktvoll-cli " + usage and the optional help text
// on stdout and exits with 0.

#include <QStringList>
#include <QTextStream>

#include <functional>

namespace mv::cli {

using Runner = std::function<int(const QStringList &args)>;

struct Register {
    Register(const char *name, const char *usage, Runner run, const char *help = nullptr);
};

// The usage line and help text of a registered command, as --help prints
// them (empty when there is no such command).
QString usageText(const QString &name);

// stdout / stderr as UTF-8 text streams.
QTextStream &out();
QTextStream &err();

// Common helpers for the commands.
bool takeFlag(QStringList &args, const QString &flag);            // removes it when present
bool takeOption(QStringList &args, const QString &opt, QString &value); // "--opt VALUE"
// Prints the process's settings-related start: InitPaths + LoadSettings
// with errors on stderr; returns false when loading stopped.
bool loadSettingsForCli();

} // namespace mv::cli
