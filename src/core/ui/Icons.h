#pragma once
// Icons from the desktop's freedesktop theme, with drawings of our own when
// the theme lacks one (or on systems without a theme).

#include <QIcon>
#include <QString>

namespace mv {

// name: a freedesktop icon name; the bundled fallback is chosen by name.
QIcon ThemeIcon(const QString &name);
// One of our own drawings by its file name (without ".svg"), whatever the
// desktop's theme: the navigation keeps one look and one picture per meaning.
QIcon AppIcon(const QString &name);
// Registers the bundled pictures and icons (idempotent).
void InitUiResources();

} // namespace mv
