#include "browse/ArticleList.h"

#include "core/RtfReader.h"
#include "core/ShopSettings.h"
#include "data/DatasetUtil.h"
#include "transfer/RecordWriter.h"
#include "wawi/WaWiDatasetOps.h"
#include "wawi/WaWiWriteReport.h"

#include <QDir>
#include <QFileInfo>

namespace mv {

namespace {

TVLBTable *makeTable(QObject *owner, const char *name, const char *file)
{
    auto *t = new TVLBTable(owner);
    t->setObjectName(QString::fromLatin1(name));
    t->SetDatabaseName(QStringLiteral("Merkant"));
    t->SetTableName(QString::fromLatin1(file));
    return t;
}

void numericFormats(Dataset &ds)
{
    for (int i = 0; i < ds.FieldCount(); ++i)
        if (ds.FieldAt(i)->DataType() == FieldType::Float)
            SetNumericFormat(ds.FieldAt(i), Settings().DisplayFormat);
}

// Views stay detached while order and range change.
struct ControlsOff {
    Dataset &ds;
    explicit ControlsOff(Dataset &d) : ds(d) { ds.DisableControls(); }
    ~ControlsOff() { ds.EnableControls(); }
};

} // namespace

ArticleList::ArticleList(QObject *parent)
    : QObject(parent),
      Tbl_Artikel(makeTable(this, "Tbl_Artikel", "Artikel.DB")),
      TBL_Artikel2(makeTable(this, "TBL_Artikel2", "Artikel.DB")),
      Tbl_Waren(makeTable(this, "Tbl_Waren", "Warengruppe.DB")),
      TBL_Waren2(makeTable(this, "TBL_Waren2", "Warengruppe.DB"))
{
    Tbl_Artikel->AfterOpen = numericFormats;
    // The tree switches between the group and the whole-list indexes.
    Tbl_Artikel->SetKeepIndexOrders(true);
    TBL_Artikel2->AfterOpen = numericFormats;
    // A delete request takes the article out of the shop, nothing more.
    Tbl_Artikel->BeforeDelete = [](Dataset &ds) {
        return TakeOfflineInsteadOfDelete(ds, QStringLiteral("Internet"), false);
    };
    Tbl_Artikel->BeforePost = [](Dataset &ds) { StampUpdate(ds); };
    Tbl_Artikel->AfterInsert = [](Dataset &ds) {
        if (Field *f = ds.FindField(QStringLiteral("Internet")))
            f->SetAsBoolean(true);
    };
    Tbl_Waren->BeforePost = [](Dataset &ds) { StampUpdate(ds); };
}

ArticleList::~ArticleList() = default;

void ArticleList::Open(int mandant)
{
    m_mandant = mandant;
    m_group = -1;
    Tbl_Artikel->Open();
    keepStamp();
    ShowGroup(0, ArticleSort::Nummer, QString());
    Tbl_Waren->Open();
    TBL_Waren2->Open();
    Tbl_Waren->SetFilter(QStringLiteral("ART<200"));
    Tbl_Waren->SetFiltered(true);
    ensureGroup();
}

TVLBTable &ArticleList::ArticleLookup()
{
    if (!TBL_Artikel2->Active() && Tbl_Artikel->Active()) {
        try {
            TBL_Artikel2->Open();
        } catch (const std::exception &) {
            // the look-ups stay empty
        }
    }
    return *TBL_Artikel2;
}

bool ArticleList::ArticleLookupOpen() const
{
    return TBL_Artikel2->Active();
}

void ArticleList::keepStamp()
{
    const QFileInfo fi(Tbl_Artikel->FilePath());
    m_fileSize = fi.exists() ? fi.size() : -1;
    m_fileTime = fi.exists() ? fi.lastModified() : QDateTime();
}

bool ArticleList::RefreshIfChanged()
{
    if (!Tbl_Artikel->Active() || Tbl_Artikel->GetState() != Dataset::State::Browse)
        return false;
    const QFileInfo fi(Tbl_Artikel->FilePath());
    if (fi.exists() && fi.size() == m_fileSize && fi.lastModified() == m_fileTime)
        return false;
    Tbl_Artikel->Refresh();
    keepStamp();
    if (TBL_Artikel2->Active())
        TBL_Artikel2->Refresh();
    return true;
}

void ArticleList::Close()
{
    for (TVLBTable *t : {Tbl_Artikel, TBL_Artikel2, Tbl_Waren, TBL_Waren2}) {
        try {
            t->Close();
        } catch (const std::exception &) {
            // a pending edit that cannot be saved is dropped with the cursor
        }
    }
}

void ArticleList::ensureGroup()
{
    // Counted over every kind below 200: the quick-search index starts with
    // the kind, so a range over it would only see groups without one.
    try {
        Tbl_Waren->SetIndexName(QStringLiteral("Verkn"));
        Tbl_Waren->SetRange({m_mandant, -999999}, {m_mandant, 999999});
        const bool any = !Tbl_Waren->IsEmpty();
        Tbl_Waren->CancelRange();
        if (any)
            return;
        // The key is not counted up by the table: the next free number.
        int next = 1;
        TBL_Waren2->SetIndexName(QString());
        TBL_Waren2->Refresh();
        TBL_Waren2->Last();
        if (!TBL_Waren2->IsEmpty())
            next = std::max(1, TBL_Waren2->FieldAt(0)->AsInteger() + 1);
        Tbl_Waren->Append();
        Tbl_Waren->FieldAt(0)->SetAsInteger(next);
        Tbl_Waren->FieldByName(QStringLiteral("Anhang"))->SetAsInteger(0);
        Tbl_Waren->FieldByName(QStringLiteral("Mandant"))->SetAsInteger(m_mandant);
        Tbl_Waren->FieldByName(QStringLiteral("Bezeichnung"))->SetAsString(QStringLiteral("Waren"));
        Tbl_Waren->Post();
        TBL_Waren2->Refresh();
    } catch (const std::exception &) {
        if (Tbl_Waren->GetState() == Dataset::State::Insert)
            Tbl_Waren->Cancel();
    }
}

void ArticleList::BuildTree(GroupTree &tree)
{
    BuildGroupTree(tree, *Tbl_Waren, m_mandant, QStringLiteral("Bezeichnung"), QString(), QStringLiteral("Anhang"),
                   QStringLiteral("Verkn"));
}

void ArticleList::ShowGroup(int group, ArticleSort sort, const QString &search)
{
    if (!Tbl_Artikel->Active() || Tbl_Artikel->GetState() == Dataset::State::Insert)
        return;
    Tbl_Artikel->CheckBrowseMode();
    const QString text = search.trimmed();
    const bool byName = sort == ArticleSort::Bezeichnung;
    const QString low(Settings().RangeLow), high(Settings().RangeHigh);
    const int g = group > 0 ? group : 0;
    {
        ControlsOff off(*Tbl_Artikel);
        if (g == 0) {
            const QString index = byName ? QStringLiteral("Schnellsuche") : QStringLiteral("Nummer");
            if (m_group > 0 || !Tbl_Artikel->HasRange() || Tbl_Artikel->IndexName() != index)
                SetMandantRange(*Tbl_Artikel, index, 0, m_mandant);
        } else {
            const QString index = byName ? QStringLiteral("WGruppe") : QStringLiteral("WGruppe_Nr");
            if (Tbl_Artikel->IndexName() != index) {
                Tbl_Artikel->CancelRange();
                Tbl_Artikel->SetIndexName(index);
                m_group = -1;
            }
            if (m_group != g || !Tbl_Artikel->HasRange())
                Tbl_Artikel->SetRange({0, m_mandant, g, low}, {0, m_mandant, g, high});
        }
        m_group = g;
    }
    // Positioned with the views attached, so they follow the cursor.
    QVariantList key{0, m_mandant};
    if (g > 0)
        key << g;
    if (!text.isEmpty())
        Tbl_Artikel->FindNearest(key << text);
    else
        Tbl_Artikel->First();
}

template <typename Fn> int ArticleList::forRecords(const QVariantList &bookmarks, Fn fn)
{
    m_problems.clear();
    WaWiWriteRecorder rec;
    int saved = 0;
    QVariantList marks = bookmarks;
    if (marks.isEmpty() && Tbl_Artikel->Active() && !Tbl_Artikel->IsEmpty())
        marks << Tbl_Artikel->Bookmark();
    for (const QVariant &bm : std::as_const(marks)) {
        if (!Tbl_Artikel->GotoBookmark(bm))
            continue;
        if (!EnsureEditing(*Tbl_Artikel))
            continue;   // locked or read-only: skipped without a message
        try {
            fn(*Tbl_Artikel);
            Tbl_Artikel->Post();
            ++saved;
        } catch (const std::exception &e) {
            Tbl_Artikel->Cancel();
            m_problems << QString::fromUtf8(e.what());
        }
    }
    for (const QString &line : rec.Report().Lines())
        if (!m_problems.contains(line))
            m_problems << line;
    if (saved)
        keepStamp();   // our own writes are in the cursor already
    return saved;
}

int ArticleList::SetOnline(const QVariantList &bookmarks, bool online)
{
    return forRecords(bookmarks, [online](Dataset &ds) {
        ds.FieldByName(QStringLiteral("Internet"))->SetAsBoolean(online);
    });
}

int ArticleList::Select(const QVariantList &bookmarks, bool on)
{
    return forRecords(bookmarks, [on](Dataset &ds) {
        Field *f = ds.FieldByName(QStringLiteral("Selekt"));
        if (on)
            f->SetAsInteger(f->AsInteger() + 1);
        else
            f->Clear();
    });
}

bool ArticleList::SetPicture(const QString &path)
{
    if (!Tbl_Artikel->Active() || Tbl_Artikel->IsEmpty() || !EnsureEditing(*Tbl_Artikel))
        return false;
    try {
        Tbl_Artikel->FieldByName(QStringLiteral("Bild_klein"))->SetAsString(path);
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

QString ArticleList::PictureFile() const
{
    QString ref = FieldText(*Tbl_Artikel, QStringLiteral("Bild_klein")).trimmed();
    if (ref.isEmpty() || ref.contains(QLatin1String("://")))
        return QString();
    ref.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const ShopSettings &s = Settings();
    QString found = ResolveLocalFile(ref);
    if (found.isEmpty() && !s.WaWiDir.isEmpty() && QFileInfo::exists(QDir(s.WaWiDir).filePath(ref)))
        found = QDir(s.WaWiDir).filePath(ref);
    if (found.isEmpty() && !s.ExeDir.isEmpty()
        && QFileInfo::exists(QDir(s.ExeDir).filePath(QStringLiteral("vorlagen/") + ref)))
        found = QDir(s.ExeDir).filePath(QStringLiteral("vorlagen/") + ref);
    return QFileInfo(found).isFile() ? found : QString();
}

namespace {

// RTF as HTML for the description pane: the characters' fonts, sizes,
// colours and styles, one paragraph per line with its alignment.
QString rtfToHtml(const QString &rtf)
{
    RtfDocument doc;
    if (!RtfReader::read(rtf, doc))
        return QString();
    auto formatAt = [&doc](qsizetype pos) -> const RtfCharFormat & {
        auto it = std::upper_bound(doc.runs.begin(), doc.runs.end(), pos,
                                   [](qsizetype p, const RtfDocument::Run &r) { return p < r.pos; });
        if (it == doc.runs.begin() || doc.formats.empty())
            return doc.defaultFormat;
        return doc.formats[size_t((it - 1)->format)];
    };
    QString html;
    for (const RtfDocument::Line &line : doc.lines) {
        const char *align = line.para.align == RtfAlign::Center  ? "center"
                            : line.para.align == RtfAlign::Right ? "right"
                                                                 : "left";
        html += QStringLiteral("<p style=\"margin:0\" align=\"%1\">").arg(QLatin1String(align));
        if (line.para.bullet)
            html += QStringLiteral("&bull; ");
        qsizetype pos = line.start;
        const qsizetype end = line.start + line.length;
        while (pos < end) {
            const RtfCharFormat &f = formatAt(pos);
            qsizetype next = pos + 1;
            while (next < end && formatAt(next) == f)
                ++next;
            QString style = QStringLiteral("font-size:%1pt;").arg(f.size);
            if (f.fontName >= 0 && f.fontName < doc.fontNames.size() && !doc.fontNames.at(f.fontName).isEmpty())
                style += QStringLiteral("font-family:'%1';").arg(doc.fontNames.at(f.fontName).toHtmlEscaped());
            if (f.color)
                style += QStringLiteral("color:#%1;").arg(f.color, 6, 16, QLatin1Char('0'));
            if (f.bold)
                style += QStringLiteral("font-weight:bold;");
            if (f.italic)
                style += QStringLiteral("font-style:italic;");
            if (f.underline || f.strike)
                style += QStringLiteral("text-decoration:%1%2;")
                             .arg(f.underline ? QStringLiteral("underline ") : QString(),
                                  f.strike ? QStringLiteral("line-through") : QString());
            html += QStringLiteral("<span style=\"%1\">%2</span>")
                        .arg(style, doc.text.mid(pos, next - pos).toHtmlEscaped());
            pos = next;
        }
        html += QStringLiteral("</p>");
    }
    return html;
}

} // namespace

QString ArticleList::LongTextHtml() const
{
    if (!Tbl_Artikel->Active() || Tbl_Artikel->IsEmpty())
        return QString();
    const Field *f = Tbl_Artikel->FindField(QStringLiteral("Langtext"));
    if (!f)
        return QString();
    const QString text = f->AsString();
    if (text.startsWith(QLatin1String("{\\rtf")))
        return rtfToHtml(text);
    // Plain text stays plain, markup included.
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1String("\r\n"), QLatin1String("<br>"));
    html.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    return html;
}

bool ArticleList::SetLongText(const QString &rtf)
{
    if (!Tbl_Artikel->Active() || Tbl_Artikel->IsEmpty() || !EnsureEditing(*Tbl_Artikel))
        return false;
    try {
        Tbl_Artikel->FieldByName(QStringLiteral("Langtext"))->SetAsString(rtf);
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

bool ArticleList::PostPending()
{
    const auto st = Tbl_Artikel->GetState();
    if (st != Dataset::State::Edit && st != Dataset::State::Insert)
        return true;
    m_problems.clear();
    WaWiWriteRecorder rec;
    bool ok = true;
    try {
        Tbl_Artikel->Post();
    } catch (const std::exception &e) {
        Tbl_Artikel->Cancel();
        m_problems << QString::fromUtf8(e.what());
        ok = false;
    }
    m_problems << rec.Report().Lines();
    if (ok)
        keepStamp();
    return ok;
}

int ArticleList::CurrentArticleGroup() const
{
    return FieldText(*Tbl_Artikel, QStringLiteral("Warengruppe")).toInt();
}

int ArticleList::CurrentArticleKey() const
{
    if (!Tbl_Artikel->Active() || Tbl_Artikel->IsEmpty())
        return 0;
    return Tbl_Artikel->FieldAt(0)->AsInteger();
}

} // namespace mv
