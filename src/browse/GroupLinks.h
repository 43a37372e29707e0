#pragma once
// The links of articles to further product groups besides their own, kept
// in "warengruppen.xml" in the program folder (read by the product-group
// and article transfers), with the look-ups the link grid shows.

#include "masterdata/TableFile.h"

#include <QAbstractTableModel>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QVector>

namespace mv {

class ArticleList;
class DatasetModel;

class GroupLinks : public QObject {
    Q_OBJECT
public:
    // The look-ups go through the list's TBL_Artikel2 and TBL_Waren2.
    explicit GroupLinks(ArticleList &list, QObject *parent = nullptr);
    ~GroupLinks() override;

    TableFile &File() { return *m_file; }
    bool IsOpen() const { return m_file->Active(); }

    // Opens path (a missing file starts empty). An unreadable file is kept
    // under a backup name and the links start empty. Returns "" or the
    // message for the user.
    QString Open(const QString &path);
    // Write the file when links were added or deleted or it does not exist
    // yet; "" or the reason it could not be written. Links another window
    // wrote meanwhile are kept: this window's additions and deletions are
    // applied to the file as it is now.
    QString Close();
    QString Save();

    // The links onto group (all links for group <= 0).
    void ShowGroup(int group);

    enum class AddResult { Added, OwnGroup, Duplicate, RootRefused, NotOpen, Failed };
    // Links article to group unless group is its own group (ownGroup), the
    // root (no group: group <= 0) or the pair exists already.
    AddResult Add(int group, int article, int ownGroup);
    // The link under the cursor; false when there is none or the file is closed.
    bool CanDelete() const;
    bool DeleteCurrent();
    int Count() const { return m_file->Active() ? int(m_file->RawRows().size()) : 0; }
    bool Contains(int group, int article) const;

    // --- look-ups ("" when the key is not found or the table is closed)
    // Artikelnummer, Bezeichnung, Einheit of an article; VK1 with two
    // decimals and a decimal point.
    QString ArticleText(int article, const QString &field);
    QString ArticlePrice(int article);
    int ArticleGroup(int article);      // 0 when not found
    // "Bezeichnung_Intern" of a group ("Bezeichnung" while that is empty).
    QString GroupName(int group);
    // A display field of the link grid for a link: Artikelnummer,
    // Bezeichnung, Einheit, VK1, WBezeichnung, UWBezeichnung.
    QString Lookup(const QString &field, int group, int article);

    static const QStringList &LookupFields();
    // Whether the article look-ups can answer without opening their table.
    bool LookupsReady() const;

private:
    ArticleList &m_list;
    TableFile *m_file;
    QSet<QPair<int, int>> m_added, m_removed;   // (group, article) since the last write
    QVector<QPair<int, int>> m_addedOrder;
};

// The link grid's model: the file's fields, then the look-up fields
// computed when a cell is shown.
class LinkGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    LinkGridModel(GroupLinks &links, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Until then the look-up cells stay empty instead of opening the
    // article table while the window paints its first rows.
    void SetLookupsDeferred(bool on);

private:
    GroupLinks &m_links;
    bool m_deferred = false;
    DatasetModel *m_inner;
};

} // namespace mv
