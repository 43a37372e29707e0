#pragma once
// "SQL-Server einstellungen": the shop database access, the list of the
// server's databases, "Datenbank anlegen" and writing the access into the
// shop's config.php. One instance lives for the whole run.

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace mv {

class TFM_SQLServer : public QDialog {
    Q_OBJECT
public:
    explicit TFM_SQLServer(QWidget *parent = nullptr);

    QComboBox *CB_SQL_Server, *CB_Databases;
    QLineEdit *ED_Http, *ED_Host, *ED_User, *ED_Pass;
    QCheckBox *CB_Globals;
    // Direct connection encrypted (SQL_SSL); follows the host name until
    // the user sets it.
    QCheckBox *CB_SSL;
    QPushButton *BitBtn1, *BitBtn2, *BitBtn3, *Button1, *Button2;
    QGroupBox *GroupBox2;
    QPlainTextEdit *Memo1;

    QString SchemaFile;
    bool SettingsChanged = false;

    // Set by the main window: its web panel before a gateway request, its
    // flag WebPanelReady, and whether its status panel is visible.
    std::function<void()> PrepareGateway;
    std::function<void()> ClearWebPanelReady;
    std::function<bool()> WebStatusVisible;

    void FormShow();
    // With sender: the user pressed OK (reminder, config.php, close).
    void BitBtn1Click(bool sender);
    void BitBtn2Click();
    void BitBtn3Click();
    void Button1Click();
    void Button2Click();
    // The assistant's form: without "Online" and "zeige".
    void SetReduced(bool reduced);

protected:
    void showEvent(QShowEvent *e) override;

private:
    void prepareGateway();
    bool m_sslSetByUser = false;
};

} // namespace mv
