#pragma once
// The WaWi articles of one Mandant by product group: the group tree, the
// articles of a group in either order with the find-nearest quick search,
// marks, the online switch and the small picture. Articles are never
// deleted: a delete takes them out of the shop instead, and every save
// stamps "Update".

#include "transfer/GroupTree.h"
#include "wawi/TVLBTable.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QVariantList>

namespace mv {

enum class ArticleSort { Nummer, Bezeichnung };

class ArticleList : public QObject {
    Q_OBJECT
public:
    explicit ArticleList(QObject *parent = nullptr);
    ~ArticleList() override;

    TVLBTable &Articles() { return *Tbl_Artikel; }       // the listed articles
    // One article by its key; opened when first asked for (it is a second
    // full read of the largest table, not needed for the first rows).
    TVLBTable &ArticleLookup();
    bool ArticleLookupOpen() const;
    TVLBTable &Groups() { return *Tbl_Waren; }           // groups for the tree
    TVLBTable &GroupLookup() { return *TBL_Waren2; }     // one group by its key

    // Opens the four tables for mandant and restricts them to it; a
    // Mandant without a visible group gets the group "Waren". DatasetError
    // (or another std::exception) when a table cannot be opened.
    void Open(int mandant);
    void Close();
    int Mandant() const { return m_mandant; }

    // The visible groups (kind below 200) of the Mandant.
    void BuildTree(GroupTree &tree);

    // The articles whose own group is group (all of the Mandant for
    // group <= 0) in the order of sort, positioned on the nearest key to
    // the trimmed search text when it is not empty.
    void ShowGroup(int group, ArticleSort sort, const QString &search);
    int ShownGroup() const { return m_group; }

    // The switch and the marks on the records of the bookmarks (the
    // current record when empty). Records that cannot be edited are
    // skipped; returns the number saved. Problems the writes reported
    // (refused by a lock, texts changed) are in LastWriteProblems().
    int SetOnline(const QVariantList &bookmarks, bool online);
    int Select(const QVariantList &bookmarks, bool on);
    QStringList LastWriteProblems() const { return m_problems; }

    // The small picture's path into the current article; it stays pending
    // until the record is left. False when the record cannot be edited.
    bool SetPicture(const QString &path);
    // The current article's small picture as a local file: its path as it
    // stands, beside the program, in the WaWi folder or among the program's
    // templates ("vorlagen"); "" for none, a web address or a missing file.
    QString PictureFile() const;
    // The long text of the current article as HTML for a rich-text view
    // (RTF with its character and paragraph formats, plain text as it
    // stands); "" when none.
    QString LongTextHtml() const;
    // Stores rtf as the current article's long text (pending like the
    // picture). False when the record cannot be edited.
    bool SetLongText(const QString &rtf);
    // Re-reads the articles when another program changed the table's file
    // since it was read (true then).
    bool RefreshIfChanged();

    // Saves a pending edit of the current article; false when that failed
    // (the edit is then dropped and the problem is in LastWriteProblems()).
    bool PostPending();

    // Number of the current article's own group (0 when none).
    int CurrentArticleGroup() const;
    int CurrentArticleKey() const;

private:
    template <typename Fn> int forRecords(const QVariantList &bookmarks, Fn fn);
    void ensureGroup();
    TVLBTable *Tbl_Artikel, *TBL_Artikel2, *Tbl_Waren, *TBL_Waren2;
    void keepStamp();
    int m_mandant = 0;
    qint64 m_fileSize = -1;
    QDateTime m_fileTime;
    int m_group = -1;
    QStringList m_problems;
};

} // namespace mv
