#include "transfer/ui/TFM_WaWiShop.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/Dataset.h"
#include "data/FormatSettings.h"
#include "data/ui/TDBBGrid.h"
#include "transfer/PictureCleanup.h"
#include "transfer/TransferProtocol.h"
#include "transfer/UnattendedRun.h"
#include "transfer/ui/TBusyAnimation.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDir>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSplitter>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace mv {

namespace {

QCheckBox *box(QWidget *parent, const char *name, const QString &caption, const QString &hint = QString(),
               bool checked = false)
{
    auto *b = new QCheckBox(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty())
        b->setToolTip(hint);
    b->setChecked(checked);
    return b;
}

GridColumnLayout column(const char *field, int width, ColumnAlign align = ColumnAlign::Left)
{
    GridColumnLayout c;
    c.fieldName = QString::fromLatin1(field);
    c.width = width;
    c.alignment = align;
    c.titleAlignment = align;
    return c;
}

TDBBGrid *readOnlyGrid(QWidget *parent, const char *name, const QVector<GridColumnLayout> &cols)
{
    auto *g = new TDBBGrid(parent);
    g->setObjectName(QString::fromLatin1(name));
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->SetColumns(cols);
    g->SetCustomised(true);
    return g;
}

} // namespace

TFM_WaWiShop::TFM_WaWiShop(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FM_WaWiShop"));
    setWindowTitle(QStringLiteral("Warenwirtschaft in den Shop"));
    setModal(true);
    // FormCreate: the date the window opens with is fixed on first creation.
    if (TransferDateText().isEmpty())
        TransferDateText() = DateToText(QDate::currentDate());
    Settings().AbortWait = false;
    buildControls();
    connectRun();
    // Room for the pages and, after a run, for its report; never beyond the screen.
    QSize size(820, 900);
    if (const QScreen *sc = screen())
        size = size.boundedTo(sc->availableGeometry().size() - QSize(40, 60));
    resize(size);
}

TFM_WaWiShop::~TFM_WaWiShop()
{
    disconnect(m_groupConn);
}

void TFM_WaWiShop::buildControls()
{
    Action_Start = new QAction(QStringLiteral("Startet Transfer"), this);
    Action_Start->setObjectName(QStringLiteral("Action_Start"));
    Action_Start->setToolTip(QStringLiteral("Startet Transfer"));
    connect(Action_Start, &QAction::triggered, this, &TFM_WaWiShop::Action_StartExecute);
    Action_PicDelete = new QAction(QStringLiteral("Bilder löschen"), this);
    Action_PicDelete->setObjectName(QStringLiteral("Action_PicDelete"));
    Action_PicDelete->setToolTip(QStringLiteral("löscht alte Bilder, die aus vorigen Datenabgleichen stammen"));
    connect(Action_PicDelete, &QAction::triggered, this, &TFM_WaWiShop::Action_PicDeleteExecute);
    addAction(Action_Start);
    addAction(Action_PicDelete);

    auto *root = new QVBoxLayout(this);

    // --- date options
    auto *dates = new QGridLayout;
    CB_Einschraenkung = box(this, "CB_Einschraenkung",
                            QStringLiteral("komplette neue Datenübertragung\n(alle Onlinedaten werden überschrieben)"),
                            QStringLiteral("löscht alle Daten, die z.Z. Online sind und überträgt alle Daten"));
    CB_alleDaten = box(this, "CB_alleDaten", QStringLiteral("alle Daten (ohne Zeitbeschränkung)"),
                       QStringLiteral("überträgt alle Daten, löscht aber Online keine Daten"));
    CB_abDatum = box(this, "CB_abDatum", QStringLiteral("nur Änderungen seit dem"),
                     QStringLiteral("Änderungen seit dem Datum X werden übertragen"), true);
    DateTimePicker2 = new QDateEdit(this);
    DateTimePicker2->setObjectName(QStringLiteral("DateTimePicker2"));
    DateTimePicker2->setToolTip(QStringLiteral("Datum, ab dem Änderungen übertragen werden"));
    DateTimePicker2->setCalendarPopup(true);
    DateTimePicker2->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    DTP_Zeit = new QTimeEdit(this);
    DTP_Zeit->setObjectName(QStringLiteral("DTP_Zeit"));
    DTP_Zeit->setToolTip(QStringLiteral("Uhrzeit, bei meheren Änderungen an einem Tag\n\n(wird z.Z. nur für Artikel benutzt)"));
    DTP_Zeit->setDisplayFormat(QStringLiteral("HH:mm"));
    DTP_Zeit->setTime(QTime(0, 0));
    Label1 = new QLabel(QStringLiteral("übertragen"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    DateTimePicker1 = new QDateEdit(this);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->setToolTip(QStringLiteral("Datum der Änderungen"));
    DateTimePicker1->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    DateTimePicker1->setVisible(false);
    dates->addWidget(CB_Einschraenkung, 0, 0, 1, 4);
    dates->addWidget(CB_alleDaten, 1, 0, 1, 4);
    dates->addWidget(CB_abDatum, 2, 0);
    dates->addWidget(DateTimePicker2, 2, 1);
    dates->addWidget(DTP_Zeit, 2, 2);
    dates->addWidget(Label1, 2, 3);
    dates->setColumnStretch(4, 1);
    root->addLayout(dates);

    // --- data kinds
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setToolTip(QStringLiteral("Bitte wählen Sie hier die Datenart, die übertragen werden soll"));
    auto *kinds = new QGridLayout(Panel1);
    cb_alle = box(Panel1, "cb_alle", QStringLiteral("alle"), QStringLiteral("Ändert alle Optionen"));
    CB_Kunden = box(Panel1, "CB_Kunden", QStringLiteral("Kunden"));
    CB_Lieferanten = box(Panel1, "CB_Lieferanten", QStringLiteral("Lieferanten"));
    CB_Interessenten = box(Panel1, "CB_Interessenten", QStringLiteral("Interessenten"));
    CB_Warengruppe = box(Panel1, "CB_Warengruppe", QStringLiteral("Warengruppen"));
    CB_Artikel = box(Panel1, "CB_Artikel", QStringLiteral("Artikel"));
    CB_Sonderpreise = box(Panel1, "CB_Sonderpreise", QStringLiteral("Sonderpreise"));
    CB_Zahlungsarten = box(Panel1, "CB_Zahlungsarten", QStringLiteral("Zahlungsarten"));
    CB_Versandart = box(Panel1, "CB_Versandart", QStringLiteral("Versandarten"));
    CB_Land = box(Panel1, "CB_Land", QStringLiteral("Länder"));
    CB_News = box(Panel1, "CB_News", QStringLiteral("News"));
    CB_FAQ = box(Panel1, "CB_FAQ", QStringLiteral("FAQ"), QStringLiteral("FAQ Übertragen"));
    CB_Newsletter = box(Panel1, "CB_Newsletter", QStringLiteral("Newsletteradressen"), QStringLiteral("Newsletteradressen"));
    CB_Adressen = box(Panel1, "CB_Adressen", QStringLiteral("Adressänderungen aus dem Shop holen"),
                      QStringLiteral("holt neue und geänderte Adressen aus dem Shop"), true);
    QFont bold = CB_Adressen->font();
    bold.setBold(true);
    CB_Adressen->setFont(bold);
    const QList<QCheckBox *> grid = {CB_Kunden, CB_Lieferanten, CB_Interessenten, CB_Warengruppe, CB_Artikel,
                                     CB_Sonderpreise, CB_Zahlungsarten, CB_Versandart, CB_Land, CB_News, CB_FAQ,
                                     CB_Newsletter};
    kinds->addWidget(cb_alle, 0, 0);
    for (int i = 0; i < grid.size(); ++i)
        kinds->addWidget(grid.at(i), 1 + i / 4, i % 4);
    kinds->addWidget(CB_Adressen, 4, 0, 1, 4);
    root->addWidget(Panel1);

    // --- pictures, rich text, buttons
    auto *row = new QHBoxLayout;
    CB_Bilder = box(this, "CB_Bilder", QStringLiteral("Bilder"),
                    QStringLiteral("Sammelt die Bilder, damit diese via FTP-Übertragen werden können"), true);
    CB_Bilder->setFont(bold);
    QPalette red = CB_Bilder->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    red.setColor(QPalette::ButtonText, Qt::red);
    CB_Bilder->setPalette(red);
    BitBtn2 = new QPushButton(Action_PicDelete->text(), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setToolTip(QStringLiteral("löscht alte Bilder, die aus vorigen Datenabgleichen stammen\n\n"
                                       "Damit wird der FTP-Bilupload schneller.\n"
                                       "Die Bilder werden immer im Verzeichnis abilder des Shops gesammelt"));
    connect(BitBtn2, &QPushButton::clicked, Action_PicDelete, &QAction::trigger);
    RTFtoHTML = box(this, "RTFtoHTML", QStringLiteral("RTFtoHTML"),
                    QStringLiteral("wandelt das RTF-Textformat in HTML-Format\n\n"
                                   "D.h.: Textformatierungen z.B. aus dem Artikellangtext werden mit übertragen"));
    Button1 = new QPushButton(Action_Start->text(), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setToolTip(Action_Start->toolTip());
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, Action_Start, &QAction::trigger);
    row->addWidget(CB_Bilder);
    row->addWidget(BitBtn2);
    row->addWidget(RTFtoHTML);
    // One statement per round trip instead of batches (ShopMod.ini "SQL_Einzeln").
    auto *oneByOne = box(this, "CB_Einzeln", QStringLiteral("Anweisungen einzeln senden"),
                         QStringLiteral("sendet jede Anweisung einzeln statt in Stapeln\n\n"
                                        "Langsamer; nur für einen Shop-Server, der mit Stapeln nicht zurechtkommt"),
                         Settings().SQL_Einzeln != 0);
    connect(oneByOne, &QCheckBox::toggled, this, [](bool on) {
        Settings().SQL_Einzeln = on ? 1 : 0;
        SaveSettings();
    });
    row->addWidget(oneByOne);
    row->addStretch(1);
    row->addWidget(Button1);
    root->addLayout(row);

    // --- progress
    auto *run = new QHBoxLayout;
    Animate1 = new TBusyAnimation(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setVisible(false);
    auto *status = new QVBoxLayout;
    LB_Status = new QLabel(QStringLiteral("..."), this);
    LB_Status->setObjectName(QStringLiteral("LB_Status"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    status->addWidget(LB_Status);
    status->addWidget(ProgressBar1);
    BitBtn1 = new QPushButton(QStringLiteral("STOP"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setVisible(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TFM_WaWiShop::BitBtn1Click);
    run->addWidget(Animate1);
    run->addLayout(status, 1);
    run->addWidget(BitBtn1);
    root->addLayout(run);

    // --- what the steps work on
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    DBGrid1 = readOnlyGrid(TabSheet1, "DBGrid1",
                           {column("Nummer", 68), column("Anrede", 57), column("Suchbegriff", 140), column("Strasse", 106),
                            column("Plz", 55), column("Ort", 111), column("Telefon", 88), column("Telefax", 85)});
    DBGrid1->setToolTip(QStringLiteral("Liste, kann mit der rechten Maustaste verändert werden"));
    DBBGrid1 = readOnlyGrid(TabSheet2, "DBBGrid1",
                            {column("Artikelnummer", 82), column("Bezeichnung", 227), column("Einheit", 68),
                             column("VK1", 68, ColumnAlign::Right)});
    TreeView1 = new QTreeWidget(TabSheet3);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (auto [page, w] : {std::pair<QWidget *, QWidget *>{TabSheet1, DBGrid1}, {TabSheet3, TreeView1}, {TabSheet2, DBBGrid1}}) {
        auto *l = new QVBoxLayout(page);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(w);
    }
    PageControl1->addTab(TabSheet1, QStringLiteral("Adressen"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Warengruppen"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Artikel"));
    SP_Protokoll = new QSplitter(Qt::Vertical, this);
    SP_Protokoll->setObjectName(QStringLiteral("SP_Protokoll"));
    SP_Protokoll->setChildrenCollapsible(false);
    SP_Protokoll->addWidget(PageControl1);
    root->addWidget(SP_Protokoll, 1);

    // --- the report of the last run
    GB_Protokoll = new QGroupBox(QStringLiteral("Protokoll des letzten Abgleichs"), this);
    GB_Protokoll->setObjectName(QStringLiteral("GB_Protokoll"));
    auto *pl = new QVBoxLayout(GB_Protokoll);
    pl->setContentsMargins(4, 4, 4, 4);
    ME_Protokoll = new QPlainTextEdit(GB_Protokoll);
    ME_Protokoll->setObjectName(QStringLiteral("ME_Protokoll"));
    ME_Protokoll->setReadOnly(true);
    // The table of the steps fits the width; long messages wrap instead of
    // making the user scroll sideways.
    ME_Protokoll->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ME_Protokoll->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    ME_Protokoll->setFont(mono);
    ME_Protokoll->setMinimumWidth(QFontMetrics(mono).horizontalAdvance(QString(76, QLatin1Char('0')))
                                  + ME_Protokoll->verticalScrollBar()->sizeHint().width() + 12);
    pl->addWidget(ME_Protokoll);
    GB_Protokoll->setVisible(false);
    SP_Protokoll->addWidget(GB_Protokoll);
    SP_Protokoll->setStretchFactor(0, 1);
    SP_Protokoll->setStretchFactor(1, 3);

    // When the last run without the window (nightly timer, marktvoll-cli) ended, and how.
    LB_Unbeaufsichtigt = new QLabel(this);
    LB_Unbeaufsichtigt->setObjectName(QStringLiteral("LB_Unbeaufsichtigt"));
    LB_Unbeaufsichtigt->setTextInteractionFlags(Qt::TextSelectableByMouse);
    root->addWidget(LB_Unbeaufsichtigt);

    // Hidden text lists: script lines of the schema update, the window's log.
    ME_Versandarten = new QPlainTextEdit(this);
    ME_Versandarten->setObjectName(QStringLiteral("ME_Versandarten"));
    ME_Versandarten->setVisible(false);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setVisible(false);

    connect(CB_Einschraenkung, &QCheckBox::clicked, this, &TFM_WaWiShop::CB_EinschraenkungClick);
    connect(CB_alleDaten, &QCheckBox::clicked, this, &TFM_WaWiShop::CB_alleDatenClick);
    connect(CB_abDatum, &QCheckBox::clicked, this, &TFM_WaWiShop::CB_abDatumClick);
    connect(cb_alle, &QCheckBox::clicked, this, &TFM_WaWiShop::cb_alleClick);
}

void TFM_WaWiShop::connectRun()
{
    // No step running: the label's resting text.
    connect(&m_run, &TransferRun::statusText, LB_Status,
            [this](const QString &t) { LB_Status->setText(t.isEmpty() ? QStringLiteral("...") : t); });
    connect(&m_run, &TransferRun::progress, ProgressBar1, [this](int p) { ProgressBar1->setValue(std::clamp(p, 0, 100)); });
    connect(&m_run, &TransferRun::logLine, Memo1, &QPlainTextEdit::appendPlainText);
    connect(&m_run, &TransferRun::captionChanged, this, &QWidget::setWindowTitle);
    connect(&m_run, &TransferRun::datasetOpened, this, &TFM_WaWiShop::datasetOpened);
    connect(&m_run, &TransferRun::datasetClosed, this, &TFM_WaWiShop::datasetClosed);
    connect(&m_run, &TransferRun::groupTreeBuilt, this, &TFM_WaWiShop::ShowGroupTree);
    connect(&m_run, &TransferRun::sqlSettingsRequested, this, &TFM_WaWiShop::SqlSettingsRequested);
    connect(&m_run, &TransferRun::messageListVisible, this, &TFM_WaWiShop::MessageListVisible);
}

void TFM_WaWiShop::showEvent(QShowEvent *e)
{
    // FormShow: the date read from TransferDateText, else today.
    if (!e->spontaneous()) {
        const QDate d = TextToDate(TransferDateText());
        DateTimePicker2->setDate(d.isValid() ? d : QDate::currentDate());
        LB_Unbeaufsichtigt->setText(LastUnattendedRunText(FindLastUnattendedRun()));
    }
    QDialog::showEvent(e);
}

// FormCloseQuery/FormClose. A close request during a run does not stop it
// (only STOP does); the window closes once the run has returned.
void TFM_WaWiShop::closeEvent(QCloseEvent *e)
{
    if (m_run.IsRunning()) {
        m_closePending = true;
        e->ignore();
        return;
    }
    Settings().AbortWait = true;
    QDialog::closeEvent(e);
    Settings().AbortWait = false;
}

void TFM_WaWiShop::reject()
{
    if (m_run.IsRunning()) {
        m_closePending = true;
        return;
    }
    QDialog::reject();
}

TransferOptions TFM_WaWiShop::Options() const
{
    TransferOptions o;
    for (const TransferKind &k : TransferKinds())
        if (auto *b = findChild<QCheckBox *>(k.box); b && b->isChecked())
            o.kinds.insert(k.name);
    o.complete = CB_Einschraenkung->isChecked();
    o.allData = CB_alleDaten->isChecked();
    o.sinceDate = CB_abDatum->isChecked();
    o.date = DateTimePicker2->date();
    o.time = DTP_Zeit->time();
    o.pictures = CB_Bilder->isChecked();
    o.rtfHtml = RTFtoHTML->isChecked();
    if (const auto *b = findChild<QCheckBox *>(QStringLiteral("CB_Einzeln")))
        o.batched = !b->isChecked();
    return o;
}

// The three date options exclude each other. The clicked box keeps the
// state the click gave it, so all three may end unchecked.
void TFM_WaWiShop::dateOptionClicked(QCheckBox *clicked)
{
    if (Settings().AbortWait || m_changing)
        return;
    m_changing = true;
    for (QCheckBox *b : {CB_Einschraenkung, CB_alleDaten, CB_abDatum})
        if (b != clicked)
            b->setChecked(false);
    m_changing = false;
}

void TFM_WaWiShop::CB_EinschraenkungClick()
{
    dateOptionClicked(CB_Einschraenkung);
}

void TFM_WaWiShop::CB_alleDatenClick()
{
    dateOptionClicked(CB_alleDaten);
}

void TFM_WaWiShop::CB_abDatumClick()
{
    dateOptionClicked(CB_abDatum);
}

// "alle" sets every data-kind box, "Adressänderungen" included, never the
// picture and rich-text boxes.
void TFM_WaWiShop::cb_alleClick()
{
    const bool on = cb_alle->isChecked();
    for (QCheckBox *b : {CB_Kunden, CB_Lieferanten, CB_Interessenten, CB_Warengruppe, CB_Artikel, CB_Sonderpreise,
                         CB_Zahlungsarten, CB_Versandart, CB_Land, CB_News, CB_FAQ, CB_Newsletter, CB_Adressen})
        b->setChecked(on);
}

void TFM_WaWiShop::BitBtn1Click()
{
    m_run.Stop();
    Settings().AbortWait = true;
}

void TFM_WaWiShop::Action_PicDeleteExecute()
{
    const QString failure = DeleteCollectedPictures();
    if (!failure.isEmpty())
        Memo1->appendPlainText(failure);
}

void TFM_WaWiShop::setRunning(bool on)
{
    // Nothing to choose or start while a run is on, only STOP.
    if (on) {
        m_lockedControls.clear();
        Action_Start->setEnabled(false);
        Action_PicDelete->setEnabled(false);
        for (QWidget *c : findChildren<QWidget *>()) {
            const bool control = qobject_cast<QAbstractButton *>(c) || qobject_cast<QDateTimeEdit *>(c);
            if (!control || c == BitBtn1 || !c->isEnabled() || PageControl1->isAncestorOf(c))
                continue;
            c->setEnabled(false);
            m_lockedControls << c;
        }
    } else {
        for (QWidget *c : std::as_const(m_lockedControls))
            c->setEnabled(true);
        m_lockedControls.clear();
        Action_Start->setEnabled(true);
        Action_PicDelete->setEnabled(true);
    }
    BitBtn1->setVisible(on);
    Animate1->setVisible(on);
    if (on)
        Animate1->Play();
    else
        Animate1->Stop();
    // The grids only follow the run: a click must not move the cursor of the
    // table a step is walking through.
    for (TDBBGrid *g : {DBGrid1, DBBGrid1}) {
        g->setAttribute(Qt::WA_TransparentForMouseEvents, on);
        g->setFocusPolicy(on ? Qt::NoFocus : Qt::StrongFocus);
    }
    TreeView1->setAttribute(Qt::WA_TransparentForMouseEvents, on);
}

void TFM_WaWiShop::Action_StartExecute()
{
    if (m_run.IsRunning())
        return;   // a second press during a run starts nothing
    // Reference date: DateTimePicker1 takes the chosen date, or 1990-01-01
    // for all data; the time of DTP_Zeit makes the reference moment.
    const TransferOptions options = Options();
    DateTimePicker1->setDate(TransferRun::ReferenceDate(options));
    Memo1->clear();
    m_treeFromStep = false;
    LB_Status->setText(QStringLiteral("starte"));
    setRunning(true);
    GB_Protokoll->setVisible(false);
    const bool ran = m_run.Run(options);
    setRunning(false);
    DBGrid1->SetDataSet(nullptr);
    DBBGrid1->SetDataSet(nullptr);
    // The status line does not keep the last step's text.
    LB_Status->setText(QStringLiteral("..."));
    ProgressBar1->setValue(0);
    if (ran)
        showReport(m_run.LastReport());
    if (m_closePending) {
        m_closePending = false;
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    }
}

void TFM_WaWiShop::showReport(const TransferReport &report)
{
    QString err;
    m_protocolFile = SaveTransferProtocol(report.toJson(), report.ended.isValid() ? report.ended : QDateTime::currentDateTime(), &err);
    QString text = report.toText();
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    text += m_protocolFile.isEmpty() ? QStringLiteral("\nProtokoll nicht gespeichert: ") + err
                                     : QStringLiteral("\nProtokoll gespeichert: ") + QDir::toNativeSeparators(m_protocolFile);
    ME_Protokoll->setPlainText(text);
    const bool first = !GB_Protokoll->isVisibleTo(this);
    GB_Protokoll->setVisible(true);
    if (first) {
        // The pages keep a strip, the report gets the rest.
        const int all = std::max(SP_Protokoll->height(), 200);
        const int pages = std::max(110, all / 5);
        SP_Protokoll->setSizes({pages, all - pages});
    }
}

void TFM_WaWiShop::datasetOpened(const QString &page, Dataset *ds)
{
    if (page == QLatin1String("Adressen")) {
        DBGrid1->SetDataSet(ds);
        if (PageControl1->isVisible())
            PageControl1->setCurrentWidget(TabSheet1);
    } else if (page == QLatin1String("Artikel")) {
        DBBGrid1->SetDataSet(ds);
        if (PageControl1->isVisible())
            PageControl1->setCurrentWidget(TabSheet2);
    } else if (page == QLatin1String("Warengruppen")) {
        if (ds && !m_treeFromStep)
            BuildGroupTree(*ds);
        followGroup(ds);
        if (PageControl1->isVisible())
            PageControl1->setCurrentWidget(TabSheet3);
    }
}

void TFM_WaWiShop::datasetClosed(const QString &page)
{
    if (page == QLatin1String("Adressen"))
        DBGrid1->SetDataSet(nullptr);
    else if (page == QLatin1String("Artikel"))
        DBBGrid1->SetDataSet(nullptr);
    else if (page == QLatin1String("Warengruppen")) {
        followGroup(nullptr);   // the tree stays until the next build
        m_treeFromStep = false;
    }
}

// The tree follows the group table's current record.
void TFM_WaWiShop::followGroup(Dataset *ds)
{
    disconnect(m_groupConn);
    m_groupSet = ds;
    if (!ds)
        return;
    m_groupConn = connect(ds, &Dataset::cursorMoved, this, [this](int recNo) {
        if (!m_groupSet || recNo < 1 || m_groupSet->FieldCount() == 0)
            return;
        const QVariant v = m_groupSet->RowValue(recNo - 1, 0);
        if (v.isValid())
            FindGroupNode(v.toInt());
    });
    connect(ds, &QObject::destroyed, this, [this, ds] {
        if (m_groupSet == ds)
            followGroup(nullptr);
    });
}

void TFM_WaWiShop::BuildGroupTree(const Dataset &groups)
{
    TreeView1->clear();
    const Field *nameField = groups.FindField(QStringLiteral("Bezeichnung"));
    const Field *parentField = groups.FindField(QStringLiteral("Anhang"));
    if (groups.FieldCount() == 0 || !nameField || !parentField)
        return;
    struct G { int number, parent; QString name; };
    QVector<G> all;
    QHash<int, int> byNumber;
    const int rows = groups.DisplayRowCount();
    for (int r = 0; r < rows; ++r) {
        const QVariant n = groups.RowValue(r, 0);
        if (!n.isValid() || byNumber.contains(n.toInt()))
            continue;
        byNumber.insert(n.toInt(), all.size());
        all.append({n.toInt(), groups.RowValue(r, parentField->Index()).toInt(),
                    groups.RowValue(r, nameField->Index()).toString()});
    }
    QHash<int, QVector<int>> children;
    QVector<int> tops;
    for (int i = 0; i < all.size(); ++i) {
        const G &g = all.at(i);
        if (g.parent <= 0 || !byNumber.contains(g.parent) || g.parent == g.number)
            tops << i;
        else
            children[g.parent] << i;
    }
    QSet<int> placed;
    std::function<void(QTreeWidgetItem *, int)> add = [&](QTreeWidgetItem *parent, int i) {
        const G &g = all.at(i);
        if (placed.contains(g.number))
            return;
        placed.insert(g.number);
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(TreeView1);
        item->setText(0, g.name);
        item->setData(0, Qt::UserRole, g.number);
        for (int c : children.value(g.number))
            add(item, c);
    };
    for (int i : tops)
        add(nullptr, i);
    // Groups only reachable through a cycle: at the top level, once each.
    for (int i = 0; i < all.size(); ++i)
        add(nullptr, i);
    TreeView1->expandAll();
}

void TFM_WaWiShop::ShowGroupTree(const GroupTree &tree)
{
    TreeView1->clear();
    QVector<QTreeWidgetItem *> items(tree.Count(), nullptr);
    for (const int i : tree.DisplayOrder()) {
        const GroupTree::Node &n = tree.Nodes().at(i);
        QTreeWidgetItem *parent = n.parent >= 0 ? items.value(n.parent) : nullptr;
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(TreeView1);
        item->setText(0, n.text);
        item->setData(0, Qt::UserRole, n.number);
        items[i] = item;
    }
    TreeView1->expandAll();
    m_treeFromStep = true;
}

bool TFM_WaWiShop::FindGroupNode(int group, int *hiernr, int *hierident)
{
    int index = 0;
    for (QTreeWidgetItemIterator it(TreeView1); *it; ++it, ++index) {
        if ((*it)->data(0, Qt::UserRole).toInt() != group)
            continue;
        int level = 0;
        for (QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            ++level;
        if (hiernr)
            *hiernr = index;
        if (hierident)
            *hierident = level;
        if (TreeView1->isVisible())
            TreeView1->setCurrentItem(*it);
        return true;
    }
    return false;
}

} // namespace mv
