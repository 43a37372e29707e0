#pragma once
// The two newsletter lists (recipients and exclusions) as table files in
// the program folder, and every import into them. The invariants: an
// address occurs at most once per list (compared exactly as stored), no
// import puts an excluded address into the recipient list, and moving an
// address into the exclusion list removes it from the recipient list.

#include "masterdata/TableFile.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace mv {

class Dataset;
class MemTable;

class NewsletterLists : public QObject {
    Q_OBJECT
public:
    enum class Target { Recipients, Exclusions };

    static QString RecipientFileName() { return QStringLiteral("newsletter_adr.xml"); }
    static QString ExclusionFileName() { return QStringLiteral("newsletter_notadr.xml"); }
    static QVector<FieldDef> ListFields();

    explicit NewsletterLists(QObject *parent = nullptr);
    ~NewsletterLists() override;

    // Opens both lists from dir (ExeDir when empty). An unreadable file is
    // kept as a backup copy and the list starts empty. Returns the messages
    // for lists that could not be opened at all ("Datei ... ist gesperrt").
    QStringList Open(const QString &dir = QString());
    // Writes both lists; errors as text (empty when fine).
    QString Save();
    // Writes and closes both lists.
    QString Close();

    TableFile &Recipients() { return *m_recipients; }
    TableFile &Exclusions() { return *m_exclusions; }
    TableFile &List(Target t) { return t == Target::Recipients ? *m_recipients : *m_exclusions; }
    bool IsOpen(Target t) const;

    // Takes in one source text (may hold several addresses separated by
    // ';', ',', ':' or blanks). Returns the number of records added.
    int AddAddress(Target target, const QString &text, const QString &htmlText = QStringLiteral("1"),
                   const QString &customerNumber = QString());

    // Progress of an import: i of n; returns false to stop. Cancelled()
    // is checked as well.
    using ProgressFn = std::function<bool(int i, int n)>;

    struct Result {
        int added = 0;          // records added to the target lists
        int candidates = 0;     // source values looked at
        bool cancelled = false;
        QString error;          // non-empty when the import failed
    };

    // What an import is doing now ("Laden der Datei...", "E-Mailadressen
    // filtern ..."), for the wait dialog.
    using ActionFn = std::function<void(const QString &action)>;

    // The text/CSV import: candidates of the file's lines, each taken in.
    Result ImportTextFile(Target target, const QString &path, const ProgressFn &progress = {},
                          const ActionFn &action = {});
    Result ImportCandidates(Target target, const QStringList &candidates, const ProgressFn &progress = {});
    // vCard contacts into the recipients (customer number when the card has one).
    Result ImportVCardFile(const QString &path, const ProgressFn &progress = {});
    // Addressees of sent mails (mbox file or Maildir folder) into the recipients.
    Result ImportMailbox(const QString &path, const ProgressFn &progress = {});
    // The WaWi's address table (open dataset with Mandant, E-Mail,
    // Serienmail, Nummer), walked in its order.
    Result ImportWaWiAddresses(Dataset &addresses, int mandant, const ProgressFn &progress = {});
    // The shop tables newsletter and newsletter_not, in pages of 30 rows.
    // query runs one SELECT into the table and returns the shop's result
    // code (0 = rows there); the default is ShopOpen.
    using QueryFn = std::function<int(const QString &sql, MemTable &result)>;
    Result ImportShop(const QueryFn &query = {}, const ProgressFn &progress = {});

    // Deletes every record of the list.
    void EmptyList(Target target);

    // True while an import runs (a second one is refused).
    bool Busy() const { return m_busy; }

    // The clock of the stamps (tests).
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

private:
    void rebuildIndex(Target t);
    void addOne(Target target, const QString &address, const QString &htmlText, const QString &customerNumber,
                int &added);
    bool step(const ProgressFn &progress, int i, int n, Result &r);
    bool beginImport(Result &r);
    struct BusyGuard;

    TableFile *m_recipients;
    TableFile *m_exclusions;
    QSet<QString> m_inRecipients, m_inExclusions;
    bool m_busy = false;
};

} // namespace mv
