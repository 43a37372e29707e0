#pragma once
// Emptying the collected-pictures folder (Action_PicDelete) and copying the
// pictures a run collected into it.

#include <QString>
#include <QStringList>

namespace mv {

// Deletes every file of folder whose name (ignoring case) is not in keep;
// read-only, hidden and system files too; subfolders stay. A file that
// cannot be deleted is skipped. Returns the number deleted.
int DeleteFilesExcept(const QString &folder, const QStringList &keep);

// Action_PicDeleteExecute: PictureDir set when blank, PictureList emptied,
// and the folder emptied except alt.gif, alt.jpg, index.htm, index.html;
// only when its path contains "abild" (never another folder). Returns ""
// or the "Systemfehler: " line of a failure.
QString DeleteCollectedPictures();

// PictureDir, set to ShopDir + "abilder/" first when blank.
QString EnsurePictureDir();

} // namespace mv
