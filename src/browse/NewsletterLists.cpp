#include "browse/NewsletterLists.h"

#include "browse/EmailAddress.h"
#include "browse/MailboxReader.h"
#include "browse/VCardReader.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "shopdb/ShopConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mv {

static constexpr int kEmailSize = 100;
static constexpr int kCustomerSize = 40;
static constexpr int kShopPage = 30;

struct NewsletterLists::BusyGuard {
    NewsletterLists &l;
    explicit BusyGuard(NewsletterLists &lists) : l(lists) { l.m_busy = true; }
    ~BusyGuard() { l.m_busy = false; }
};

QVector<FieldDef> NewsletterLists::ListFields()
{
    return {
        {QStringLiteral("EMAIL"), FieldType::String, kEmailSize},
        {QStringLiteral("kdnummer"), FieldType::String, kCustomerSize},
        {QStringLiteral("html"), FieldType::Integer, 0},
        {QStringLiteral("iupdate"), FieldType::DateTime, 0},
    };
}

NewsletterLists::NewsletterLists(QObject *parent)
    : QObject(parent), m_recipients(new TableFile(this)), m_exclusions(new TableFile(this))
{
    m_recipients->setObjectName(QStringLiteral("ClientDataSet1"));
    m_exclusions->setObjectName(QStringLiteral("ClientDataSet2"));
}

NewsletterLists::~NewsletterLists()
{
    Close();
}

bool NewsletterLists::IsOpen(Target t) const
{
    return (t == Target::Recipients ? m_recipients : m_exclusions)->Active();
}

QStringList NewsletterLists::Open(const QString &dir)
{
    QStringList messages;
    const QString base = dir.isEmpty() ? Settings().ExeDir : dir;
    for (Target t : {Target::Recipients, Target::Exclusions}) {
        TableFile &f = List(t);
        const QString path = QDir(base).filePath(t == Target::Recipients ? RecipientFileName() : ExclusionFileName());
        f.SetFileName(path);
        bool ok = false;
        try {
            ok = f.OpenOrStartEmpty(ListFields());
        } catch (const std::exception &) {
            ok = false;
        }
        if (!ok || !f.Active())
            messages << QStringLiteral("Datei ") + QDir::toNativeSeparators(path) + QStringLiteral(" ist gesperrt");
        rebuildIndex(t);
    }
    return messages;
}

QString NewsletterLists::Save()
{
    QStringList errors;
    for (TableFile *f : {m_recipients, m_exclusions}) {
        if (!f->Active())
            continue;
        try {
            f->Save();
            f->ClearChanged();
        } catch (const std::exception &e) {
            errors << QString::fromUtf8(e.what());
        }
    }
    return errors.join(QLatin1Char('\n'));
}

QString NewsletterLists::Close()
{
    const QString err = Save();
    for (TableFile *f : {m_recipients, m_exclusions}) {
        try {
            f->Close();
        } catch (...) {
        }
    }
    return err;
}

void NewsletterLists::rebuildIndex(Target t)
{
    QSet<QString> &set = t == Target::Recipients ? m_inRecipients : m_inExclusions;
    set.clear();
    TableFile &f = List(t);
    if (!f.Active())
        return;
    f.CheckBrowseMode();
    const int col = f.FieldByName(QStringLiteral("EMAIL"))->Index();
    for (const auto &row : f.RawRows())
        set.insert(row.value(col).toString());
}

int NewsletterLists::AddAddress(Target target, const QString &text, const QString &htmlText,
                                const QString &customerNumber)
{
    if (!m_busy) {
        rebuildIndex(Target::Recipients);
        rebuildIndex(Target::Exclusions);
    }
    int added = 0;
    addOne(target, text, htmlText, customerNumber, added);
    return added;
}

void NewsletterLists::addOne(Target target, const QString &source, const QString &htmlText,
                             const QString &customerNumber, int &added)
{
    QString text = source.trimmed();
    for (QChar sep : {QLatin1Char(';'), QLatin1Char(','), QLatin1Char(':'), QLatin1Char(' ')}) {
        const int at = int(text.indexOf(sep));
        if (at >= 0) {
            addOne(target, text.mid(at + 1), QStringLiteral("1"), customerNumber, added);
            text = text.left(at);
        }
    }
    text.remove(QLatin1Char('"'));
    const QString address = CheckEmailAddress(text).trimmed();
    // a longer address would be cut by the field and become another one
    if (address.isEmpty() || address.size() > kEmailSize)
        return;

    TableFile &recipients = *m_recipients;
    TableFile &exclusions = *m_exclusions;
    if (target == Target::Recipients) {
        if (!recipients.Active() || m_inExclusions.contains(address) || m_inRecipients.contains(address))
            return;
        bool okHtml = false;
        const QString h = htmlText.trimmed();
        int html = h.isEmpty() ? 1 : h.toInt(&okHtml);
        if (!h.isEmpty() && !okHtml)
            html = 1;
        recipients.CheckBrowseMode();
        recipients.Append();
        recipients.FieldByName(QStringLiteral("EMAIL"))->SetAsString(address);
        recipients.FieldByName(QStringLiteral("kdnummer"))->SetAsString(customerNumber.left(kCustomerSize));
        recipients.FieldByName(QStringLiteral("html"))->SetAsInteger(html);
        recipients.FieldByName(QStringLiteral("iupdate"))->SetAsDateTime(Now());
        recipients.Post();
        m_inRecipients.insert(address);
        ++added;
    } else {
        if (!exclusions.Active())
            return;
        if (m_inRecipients.contains(address) && recipients.Active()) {
            recipients.CheckBrowseMode();
            // exact comparison: Locate without options is case-sensitive
            while (recipients.Locate(QStringLiteral("EMAIL"), {address}))
                recipients.Delete();
            m_inRecipients.remove(address);
        }
        if (m_inExclusions.contains(address))
            return;
        exclusions.CheckBrowseMode();
        exclusions.Append();
        exclusions.FieldByName(QStringLiteral("EMAIL"))->SetAsString(address);
        exclusions.FieldByName(QStringLiteral("kdnummer"))->SetAsString(customerNumber.left(kCustomerSize));
        exclusions.FieldByName(QStringLiteral("iupdate"))->SetAsDateTime(Now());
        exclusions.Post();
        m_inExclusions.insert(address);
        ++added;
    }
}

bool NewsletterLists::step(const ProgressFn &progress, int i, int n, Result &r)
{
    if (progress && !progress(i, n))
        r.cancelled = true;
    Ui().ProcessEvents();
    if (Cancelled())
        r.cancelled = true;
    return !r.cancelled;
}

// Refuses a second import while one runs; otherwise readies the look-ups
// of both lists.
bool NewsletterLists::beginImport(Result &r)
{
    if (m_busy) {
        r.error = QStringLiteral("Es läuft bereits ein Import.");
        return false;
    }
    rebuildIndex(Target::Recipients);
    rebuildIndex(Target::Exclusions);
    return true;
}

NewsletterLists::Result NewsletterLists::ImportCandidates(Target target, const QStringList &candidates,
                                                          const ProgressFn &progress)
{
    Result r;
    if (!beginImport(r))
        return r;
    BusyGuard busy(*this);
    const int n = int(candidates.size());
    for (int i = 0; i < n; ++i) {
        if (!step(progress, i + 1, n, r))
            break;
        addOne(target, candidates.at(i), QStringLiteral("1"), QString(), r.added);
        ++r.candidates;
    }
    return r;
}

static bool readWhole(const QString &path, QByteArray &data, QString &error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Datei ") + QDir::toNativeSeparators(path) + QStringLiteral(" kann nicht gelesen werden");
        return false;
    }
    data = f.readAll();
    return true;
}

NewsletterLists::Result NewsletterLists::ImportTextFile(Target target, const QString &path,
                                                        const ProgressFn &progress, const ActionFn &action)
{
    QByteArray data;
    Result r;
    if (action)
        action(QStringLiteral("Laden der Datei..."));
    if (!readWhole(path, data, r.error))
        return r;
    if (action)
        action(QStringLiteral("E-Mailadressen filtern ..."));
    const QStringList candidates = AddressCandidates(TextFileLines(data));
    return ImportCandidates(target, candidates, progress);
}

NewsletterLists::Result NewsletterLists::ImportVCardFile(const QString &path, const ProgressFn &progress)
{
    Result r;
    QByteArray data;
    if (!beginImport(r) || !readWhole(path, data, r.error))
        return r;
    BusyGuard busy(*this);
    const QVector<VCardContact> cards = ParseVCards(data);
    const int n = int(cards.size());
    for (int i = 0; i < n; ++i) {
        if (!step(progress, i + 1, n, r))
            break;
        for (const QString &e : cards.at(i).emails) {
            addOne(Target::Recipients, e, QStringLiteral("1"), cards.at(i).customerId, r.added);
            ++r.candidates;
        }
    }
    return r;
}

NewsletterLists::Result NewsletterLists::ImportMailbox(const QString &path, const ProgressFn &progress)
{
    Result r;
    if (!beginImport(r))
        return r;
    if (!QFileInfo::exists(path)) {
        r.error = QStringLiteral("Datei ") + QDir::toNativeSeparators(path) + QStringLiteral(" nicht gefunden");
        return r;
    }
    QStringList addresses;
    for (const MailAddress &m : MailboxRecipients(path, &r.error))
        addresses << m.address;
    const QString readError = r.error;
    r = ImportCandidates(Target::Recipients, addresses, progress);
    if (r.error.isEmpty())
        r.error = readError;
    return r;
}

NewsletterLists::Result NewsletterLists::ImportWaWiAddresses(Dataset &addresses, int mandant,
                                                             const ProgressFn &progress)
{
    Result r;
    if (!beginImport(r))
        return r;
    BusyGuard busy(*this);
    try {
        Field *fMandant = addresses.FieldByName(QStringLiteral("Mandant"));
        Field *fMail = addresses.FieldByName(QStringLiteral("E-Mail"));
        Field *fSerie = addresses.FieldByName(QStringLiteral("Serienmail"));
        Field *fNummer = addresses.FieldByName(QStringLiteral("Nummer"));
        const int n = addresses.RecordCount();
        int number = 0;
        addresses.DisableControls();
        addresses.First();
        while (!addresses.Eof()) {
            ++number;
            if (!step(progress, number, n, r))
                break;
            const QString mail = fMail->AsString().trimmed();
            if (fMandant->AsInteger() == mandant && !mail.isEmpty()) {
                ++r.candidates;
                if (fSerie->AsBoolean())
                    addOne(Target::Exclusions, mail, QString(), fNummer->AsString(), r.added);
                else
                    addOne(Target::Recipients, mail, QStringLiteral("1"), fNummer->AsString(), r.added);
            }
            addresses.Next();
        }
        addresses.EnableControls();
    } catch (const std::exception &e) {
        addresses.EnableControls();
        r.error = QString::fromUtf8(e.what());
    }
    return r;
}

NewsletterLists::Result NewsletterLists::ImportShop(const QueryFn &queryFn, const ProgressFn &progress)
{
    Result r;
    if (!beginImport(r))
        return r;
    BusyGuard busy(*this);
    MemTable result;
    TShopQuery q;
    q.ClientDataSet = &result;
    const QueryFn query = queryFn ? queryFn : QueryFn([&q](const QString &sql, MemTable &) {
        return ShopOpen(sql, q);
    });
    auto fail = [&](const QString &sql) {
        r.error = QStringLiteral("Die Abfrage an den Shop ist fehlgeschlagen:\r\n") + sql;
    };
    for (Target t : {Target::Recipients, Target::Exclusions}) {
        const QString table = t == Target::Recipients ? QStringLiteral("newsletter") : QStringLiteral("newsletter_not");
        const QString countSql = QStringLiteral("SELECT COUNT(*) FROM ") + table;
        // a failed call leaves no rows: the import ends with a message
        // instead of reading whatever an earlier page left
        if (query(countSql, result) != 0 || !result.Active() || result.FieldCount() < 1) {
            fail(countSql);
            return r;
        }
        result.First();
        const int n = result.Eof() ? 0 : StrToIntX(result.FieldAt(0)->AsString());
        int offset = 0;
        while (offset < n && !r.cancelled && !Cancelled()) {
            const QString sql = QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" LIMIT ")
                + QString::number(offset) + QLatin1Char(',') + QString::number(qMin(kShopPage, n - offset));
            if (query(sql, result) != 0 || !result.Active()) {
                fail(sql);
                return r;
            }
            if (result.RecordCount() == 0)
                break;
            Field *fMail = result.FindField(QStringLiteral("EMail"));
            Field *fHtml = result.FindField(QStringLiteral("html"));
            Field *fKd = result.FindField(QStringLiteral("kdnummer"));
            if (!fMail) {
                r.error = QStringLiteral("Die Shop-Tabelle ") + table + QStringLiteral(" hat keine Spalte EMail.");
                return r;
            }
            for (result.First(); !result.Eof(); result.Next()) {
                ++offset;
                ++r.candidates;
                if (t == Target::Recipients)
                    addOne(t, fMail->AsString(), fHtml ? fHtml->AsString() : QString(),
                           fKd ? fKd->AsString() : QString(), r.added);
                else
                    addOne(t, fMail->AsString(), QStringLiteral("0"), QString(), r.added);
            }
            step(progress, offset, n, r);
        }
        if (r.cancelled)
            break;
    }
    return r;
}

void NewsletterLists::EmptyList(Target target)
{
    TableFile &f = List(target);
    if (!f.Active())
        return;
    f.CheckBrowseMode();
    f.DisableControls();
    f.First();
    while (!f.IsEmpty()) {
        f.First();
        f.Delete();
    }
    f.EnableControls();
    rebuildIndex(target);
}

} // namespace mv
