#pragma once
// "Shopeinrichtung via FTP": the FTP access data (page 1) and the upload of
// the local shop folder, its pictures or its configuration (page 2). The
// window is not destroyed while an upload is still unwinding: closing
// stops the upload and the window goes once it has ended.

#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace mv {

class FtpUpload;

class TFM_FTP : public QWidget {
    Q_OBJECT
public:
    explicit TFM_FTP(QWidget *parent = nullptr);
    ~TFM_FTP() override;

    QStackedWidget *Notebook1;
    QLineEdit *ED_Host, *ED_Name, *ED_Passwort, *ED_Port;
    QRadioButton *RB_Normal, *RB_passiv, *RB_Proxy;
    QGroupBox *GB_Proxy;
    QLineEdit *ED_Proxy_Server, *ED_Proxy_User, *ED_Proxy_Pass, *ED_Proxy_Port;
    QComboBox *CB_Proxy_Type;
    QLineEdit *ED_Verzeichnis;
    QCheckBox *CB_Klein, *CB_TLS, *CB_AlleDateien;
    QPushButton *BitBtn1, *BitBtn2, *BitBtn6;
    QPushButton *BitBtn4, *BitBtn5, *BB_wBreak, *BitBtn3;
    QPlainTextEdit *ME_Log;
    QLabel *Label1;
    QProgressBar *ProgressBar1;

    QString LocalFolder = QStringLiteral("shop");
    bool AssistantMode = false;
    bool DirNotFound = false;
    bool UploadOk = false;

    // Whether the client's commands and replies go into the log (the main
    // window's web panel is up).
    std::function<bool()> StatusVisible;

    void FormShow();
    void BitBtn2Click();
    void BitBtn5Click();
    void BitBtn4Click();
    void BB_wBreakClick();
    void BitBtn6Click();
    bool Uploading() const { return m_uploading; }
    void AppendLog(const QString &line);

signals:
    void uploadFinished(bool ok);

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void storeSettings();

    FtpUpload *m_upload;
    bool m_uploading = false;
    bool m_closeWhenDone = false;
    bool m_shown = false;
    bool m_stored = false;
    QString m_lastStatus;   // the latest status line shown in the log
};

} // namespace mv
