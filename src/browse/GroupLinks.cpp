#include "browse/GroupLinks.h"

#include "browse/ArticleList.h"
#include "core/TextUtil.h"
#include "data/DatasetModel.h"
#include "masterdata/TableLayouts.h"

#include <QFileInfo>
#include <QSet>

namespace mv {

GroupLinks::GroupLinks(ArticleList &list, QObject *parent) : QObject(parent), m_list(list), m_file(new TableFile(this))
{
    m_file->setObjectName(QStringLiteral("ClientDataSet1"));
    // "id" is declared auto-increment but stays empty in this file.
    m_file->SetAutoIncFill(false);
}

GroupLinks::~GroupLinks()
{
    Close();
}

QString GroupLinks::Open(const QString &path)
{
    m_file->SetFileName(path);
    m_added.clear();
    m_addedOrder.clear();
    m_removed.clear();
    QString backup;
    if (!m_file->OpenOrStartEmpty(WarengruppenLayout(), &backup) || !m_file->Active())
        return QStringLiteral("Datei ") + path + QStringLiteral(" ist gesperrt");
    for (const char *f : {"warengruppe", "artikel"}) {
        if (!m_file->FindField(QString::fromLatin1(f))) {
            // A readable packet of another table: kept aside like an unreadable one.
            m_file->Close();
            backup = TableFile::KeepAsBackup(path);
            try {
                m_file->CreateDataSet(WarengruppenLayout());
            } catch (const std::exception &) {
                return QStringLiteral("Datei ") + path + QStringLiteral(" ist gesperrt");
            }
            break;
        }
    }
    if (!backup.isEmpty())
        return QStringLiteral("Die Datei %1 war nicht lesbar. Sie wurde als %2 aufbewahrt; die Zuordnungen beginnen leer.")
            .arg(path, backup);
    return QString();
}

QString GroupLinks::Close()
{
    if (!m_file->Active())
        return QString();
    try {
        m_file->CheckBrowseMode();
    } catch (const std::exception &) {
        m_file->Cancel();
    }
    QString err;
    if (!m_added.isEmpty() || !m_removed.isEmpty())
        err = Save();
    if (err.isEmpty())
        m_file->ClearChanged();   // written (merged) already; a missing file is still written
    m_file->Close();
    return err.isEmpty() ? m_file->LastSaveError() : err;
}

QString GroupLinks::Save()
{
    if (!m_file->Active())
        return QString();
    try {
        m_file->CheckBrowseMode();
    } catch (const std::exception &) {
        m_file->Cancel();
    }
    const QString path = m_file->FileName();
    if (m_added.isEmpty() && m_removed.isEmpty() && QFileInfo::exists(path))
        return QString();
    // Another window may have written the file since it was read: its
    // links stay, this window's additions and deletions go on top.
    QVector<QVector<QVariant>> rows;
    bool merged = false;
    if (QFileInfo::exists(path)) {
        try {
            const TablePacket p = TableFile::ReadPacket(path);
            int gi = -1, ai = -1;
            for (int i = 0; i < p.fields.size(); ++i) {
                if (p.fields[i].name.compare(QLatin1String("warengruppe"), Qt::CaseInsensitive) == 0)
                    gi = i;
                if (p.fields[i].name.compare(QLatin1String("artikel"), Qt::CaseInsensitive) == 0)
                    ai = i;
            }
            if (gi >= 0 && ai >= 0) {
                QSet<QPair<int, int>> seen;
                for (const auto &r : p.rows) {
                    const QVariant g = r.value(gi), a = r.value(ai);
                    const QPair<int, int> pair(g.toInt(), a.toInt());
                    if (g.isValid() && a.isValid() && (m_removed.contains(pair) || seen.contains(pair)))
                        continue;
                    seen.insert(pair);
                    rows.append({QVariant(), g, a});
                }
                for (const auto &pair : std::as_const(m_addedOrder))
                    if (m_added.contains(pair) && !seen.contains(pair)) {
                        seen.insert(pair);
                        rows.append({QVariant(), pair.first, pair.second});
                    }
                merged = true;
            }
        } catch (const std::exception &) {
            // unreadable now: this window's links are written as they are
        }
    }
    if (!merged) {
        const Field *g = m_file->FindField(QStringLiteral("warengruppe"));
        const Field *a = m_file->FindField(QStringLiteral("artikel"));
        for (const auto &r : m_file->RawRows())
            rows.append({QVariant(), g ? r.value(g->Index()) : QVariant(), a ? r.value(a->Index()) : QVariant()});
    }
    try {
        TableFile::WritePacketFile(path, WarengruppenLayout(), rows);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
    m_added.clear();
    m_addedOrder.clear();
    m_removed.clear();
    m_file->ClearChanged();
    return QString();
}

void GroupLinks::ShowGroup(int group)
{
    if (!m_file->Active())
        return;
    if (group <= 0) {
        m_file->CancelRange();
        return;
    }
    if (m_file->IndexFieldNames() != QLatin1String("warengruppe"))
        m_file->SetIndexFieldNames(QStringLiteral("warengruppe"));
    m_file->SetRange({group}, {group});
}

bool GroupLinks::Contains(int group, int article) const
{
    if (!m_file->Active())
        return false;
    const Field *g = m_file->FindField(QStringLiteral("warengruppe"));
    const Field *a = m_file->FindField(QStringLiteral("artikel"));
    if (!g || !a)
        return false;
    // All rows, whatever group the file shows now.
    for (const auto &row : m_file->RawRows())
        if (row.value(g->Index()).toInt() == group && row.value(a->Index()).toInt() == article
            && row.value(g->Index()).isValid() && row.value(a->Index()).isValid())
            return true;
    return false;
}

GroupLinks::AddResult GroupLinks::Add(int group, int article, int ownGroup)
{
    // The root carries no group: a link there would store group 0.
    if (group <= 0)
        return AddResult::RootRefused;
    if (group == ownGroup)
        return AddResult::OwnGroup;
    if (!m_file->Active())
        return AddResult::NotOpen;
    if (Contains(group, article))
        return AddResult::Duplicate;
    try {
        m_file->Append();
        m_file->FieldByName(QStringLiteral("warengruppe"))->SetAsInteger(group);
        m_file->FieldByName(QStringLiteral("artikel"))->SetAsInteger(article);
        m_file->Post();
    } catch (const std::exception &) {
        if (m_file->GetState() != Dataset::State::Browse)
            m_file->Cancel();
        return AddResult::Failed;
    }
    const QPair<int, int> pair(group, article);
    m_removed.remove(pair);
    m_added.insert(pair);
    m_addedOrder.append(pair);
    return AddResult::Added;
}

bool GroupLinks::CanDelete() const
{
    return m_file->Active() && m_file->CanModify() && !m_file->IsEmpty();
}

bool GroupLinks::DeleteCurrent()
{
    if (!CanDelete())
        return false;
    const Field *g = m_file->FindField(QStringLiteral("warengruppe"));
    const Field *a = m_file->FindField(QStringLiteral("artikel"));
    const QPair<int, int> pair(g ? g->AsInteger() : 0, a ? a->AsInteger() : 0);
    const bool known = g && a && !g->IsNull() && !a->IsNull();
    try {
        m_file->Delete();
    } catch (const std::exception &) {
        return false;
    }
    if (known && !Contains(pair.first, pair.second)) {
        if (!m_added.remove(pair))
            m_removed.insert(pair);
    }
    return true;
}

QString GroupLinks::ArticleText(int article, const QString &field)
{
    TVLBTable &t = m_list.ArticleLookup();
    if (!t.Active())
        return QString();
    try {
        if (!t.IndexName().isEmpty())
            t.SetIndexName(QString());
        if (!t.FindKey({article}))
            return QString();
        const Field *f = t.FindField(field);
        return f ? f->AsString() : QString();
    } catch (const std::exception &) {
        return QString();
    }
}

QString GroupLinks::ArticlePrice(int article)
{
    TVLBTable &t = m_list.ArticleLookup();
    if (ArticleText(article, QStringLiteral("Artikel")).isEmpty())
        return QString();
    const Field *f = t.FindField(QStringLiteral("VK1"));
    return f ? FloatToSqlStr(2, f->AsFloat()) : QString();
}

int GroupLinks::ArticleGroup(int article)
{
    return ArticleText(article, QStringLiteral("Warengruppe")).toInt();
}

QString GroupLinks::GroupName(int group)
{
    TVLBTable &t = m_list.GroupLookup();
    if (!t.Active())
        return QString();
    try {
        if (!t.IndexName().isEmpty())
            t.SetIndexName(QString());
        if (!t.FindKey({group}))
            return QString();
        const Field *f = t.FindField(QStringLiteral("Bezeichnung_Intern"));
        QString name = f ? f->AsString() : QString();
        // Groups the transfer has not named internally yet show their name.
        if (name.trimmed().isEmpty())
            if (const Field *b = t.FindField(QStringLiteral("Bezeichnung")))
                name = b->AsString();
        return name;
    } catch (const std::exception &) {
        return QString();
    }
}

const QStringList &GroupLinks::LookupFields()
{
    static const QStringList f{QStringLiteral("Artikelnummer"), QStringLiteral("Bezeichnung"),
                               QStringLiteral("Einheit"),       QStringLiteral("VK1"),
                               QStringLiteral("WBezeichnung"),  QStringLiteral("UWBezeichnung")};
    return f;
}

bool GroupLinks::LookupsReady() const
{
    return m_list.ArticleLookupOpen();
}

QString GroupLinks::Lookup(const QString &field, int group, int article)
{
    if (field == QLatin1String("VK1"))
        return ArticlePrice(article);
    if (field == QLatin1String("WBezeichnung"))
        return GroupName(group);
    if (field == QLatin1String("UWBezeichnung")) {
        const int own = ArticleGroup(article);
        return own ? GroupName(own) : QString();
    }
    return ArticleText(article, field);
}

// --- the link grid's model

LinkGridModel::LinkGridModel(GroupLinks &links, QObject *parent)
    : QAbstractTableModel(parent), m_links(links), m_inner(new DatasetModel(&links.File(), this))
{
    m_inner->SetReadOnly(true);
    auto reset = [this] {
        beginResetModel();
        endResetModel();
    };
    connect(m_inner, &QAbstractItemModel::modelReset, this, reset);
    connect(m_inner, &QAbstractItemModel::layoutChanged, this, reset);
    connect(m_inner, &QAbstractItemModel::rowsInserted, this, reset);
    connect(m_inner, &QAbstractItemModel::rowsRemoved, this, reset);
    connect(m_inner, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &tl, const QModelIndex &br) {
        emit dataChanged(index(tl.row(), 0), index(br.row(), columnCount() - 1));
    });
}

int LinkGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_inner->rowCount();
}

int LinkGridModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_links.IsOpen())
        return 0;
    return m_links.File().FieldCount() + int(GroupLinks::LookupFields().size());
}

QVariant LinkGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    TableFile &f = m_links.File();
    const int base = f.FieldCount();
    if (index.column() < base)
        return m_inner->data(m_inner->index(index.row(), index.column()), role);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    const Field *g = f.FindField(QStringLiteral("warengruppe"));
    const Field *a = f.FindField(QStringLiteral("artikel"));
    if (!g || !a)
        return QVariant();
    const QVariant gv = f.RowValue(index.row(), g->Index());
    const QVariant av = f.RowValue(index.row(), a->Index());
    if (!av.isValid())
        return QString();
    const QString field = GroupLinks::LookupFields().value(index.column() - base);
    if (m_deferred && !m_links.LookupsReady() && field != QLatin1String("WBezeichnung"))
        return QString();
    if (field == QLatin1String("WBezeichnung") && !gv.isValid())
        return QString();
    return m_links.Lookup(field, gv.toInt(), av.toInt());
}

QVariant LinkGridModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, o, role);
    const int base = m_links.IsOpen() ? m_links.File().FieldCount() : 0;
    if (section < base)
        return m_links.File().FieldAt(section)->FieldName();
    return GroupLinks::LookupFields().value(section - base);
}

void LinkGridModel::SetLookupsDeferred(bool on)
{
    m_deferred = on;
    if (!on && rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

Qt::ItemFlags LinkGridModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace mv
