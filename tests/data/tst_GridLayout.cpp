#include "data/GridLayout.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QTest>

using namespace mv;
using mv::test::TestEnv;

class GridLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void colorFilePath_data()
    {
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("colors");
        QTest::newRow("Artikel") << "/p/Artikel.tei" << "/p/Artikel.tef";
        QTest::newRow("Adressen") << "/p/Adressen.tei" << "/p/Adressen.tef";
        QTest::newRow("backup") << "/tmp/TBLOLD.TMP" << "/tmp/TBLOLD.TMf";
    }
    void colorFilePath()
    {
        QFETCH(QString, columns);
        QFETCH(QString, colors);
        QCOMPARE(ColorFilePath(columns), colors);
    }

    void systemColourValues()
    {
        QCOMPARE(WinColor::clWindow, -16777211);
        QCOMPARE(WinColor::clWindowText, -16777208);
        QCOMPARE(WinColor::clHighlight, -16777203);
        QCOMPARE(WinColor::clHighlightText, -16777202);
        QCOMPARE(WinColor::clBtnShadow, -16777200);
        QCOMPARE(WinColor::clInfoBk, -16777192);
        QCOMPARE(WinColor::FromRgb(0xA7, 0xA7, 0xA7), 10987431);
        QCOMPARE(WinColor::FromRgb(255, 0, 0), 255);
    }

    void defaultColorList_data()
    {
        QTest::addColumn<bool>("haveGrid");
        QTest::addColumn<int>("gridColor");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("clWindow grid") << true << int(WinColor::clWindow)
            << QStringList{"ColorON=1", "Color1=-16777211", "Color2=-16777192", "Color3=-16777208"};
        QTest::newRow("clInfoBk grid") << true << int(WinColor::clInfoBk)
            << QStringList{"ColorON=1", "Color1=-16777192", "Color2=-16777211", "Color3=-16777208"};
        QTest::newRow("clBtnShadow grid") << true << int(WinColor::clBtnShadow)
            << QStringList{"ColorON=1", "Color1=-16777200", "Color2=10987431", "Color3=-16777208"};
        QTest::newRow("white grid: no Color2") << true << 16777215
            << QStringList{"ColorON=1", "Color1=16777215", "Color3=-16777208"};
        QTest::newRow("no grid") << false << 0
            << QStringList{"ColorON=1", "Color1=-16777211", "Color2=-16777192", "Color3=-16777208"};
    }
    void defaultColorList()
    {
        QFETCH(bool, haveGrid);
        QFETCH(int, gridColor);
        QFETCH(QStringList, expected);
        QCOMPARE(DefaultColorList(haveGrid, gridColor, WinColor::clWindowText), expected);
    }

    void parseColorList_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("twoColor");
        QTest::addColumn<QString>("c1");   // "" = absent
        QTest::addColumn<QString>("c2");
        QTest::addColumn<QString>("c3");
        QTest::newRow("all four") << QStringList{"ColorON=1", "Color1=1", "Color2=2", "Color3=3"} << true << "1" << "2" << "3";
        QTest::newRow("ColorON=0 off") << QStringList{"ColorON=0"} << false << "" << "" << "";
        QTest::newRow("ColorON=no stays on") << QStringList{"ColorON=no"} << true << "" << "" << "";
        QTest::newRow("ColorON missing") << QStringList{"Color1=5"} << true << "5" << "" << "";
        QTest::newRow("no Color2 line") << QStringList{"ColorON=1", "Color1=-16777211", "Color3=7"} << true << "-16777211" << "" << "7";
        QTest::newRow("keys without case") << QStringList{"coloron=0", "COLOR1=9"} << false << "9" << "" << "";
        QTest::newRow("bad value stops the rest") << QStringList{"Color1=4", "Color2=rot", "Color3=6"} << true << "4" << "" << "";
    }
    void parseColorList()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, twoColor);
        QFETCH(QString, c1);
        QFETCH(QString, c2);
        QFETCH(QString, c3);
        const GridColors g = ParseColorList(lines);
        QCOMPARE(g.twoColor, twoColor);
        auto text = [](const std::optional<qint32> &v) { return v ? QString::number(*v) : QString(); };
        QCOMPARE(text(g.color1), c1);
        QCOMPARE(text(g.color2), c2);
        QCOMPARE(text(g.color3), c3);
    }

    void colorFileIsCrLfKeyValue()
    {
        TestEnv env;
        const QString path = env.file(QStringLiteral("Artikel.tef"));
        QVERIFY(WriteColorFile(path, MakeColorList(false, WinColor::clWindow, 10987431, WinColor::clWindowText)));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("ColorON=0\r\nColor1=-16777211\r\nColor2=10987431\r\nColor3=-16777208\r\n"));
        QStringList back;
        QVERIFY(ReadColorFile(path, back));
        QCOMPARE(back.size(), 4);
    }

    void columnFileRoundTripAndDamage()
    {
        TestEnv env;
        const QString path = env.file(QStringLiteral("Artikel.tei"));
        GridColumnLayout a;
        a.fieldName = QStringLiteral("Artikelnummer");
        a.width = 120;
        a.alignment = ColumnAlign::Right;
        a.titleCaption = QStringLiteral("Art.-Nr. (Größe)");
        a.titleAlignment = ColumnAlign::Center;
        a.font = QStringLiteral("Arial,8,-1,5,700,0,0,0,0,0");
        a.readOnly = true;
        GridColumnLayout b;
        b.fieldName = QStringLiteral("Bezeichnung");
        b.visible = false;
        b.color = 16777215;
        const QVector<GridColumnLayout> cols{a, b, a};
        QVERIFY(WriteColumnFile(path, cols));
        QVector<GridColumnLayout> back;
        QVERIFY(ReadColumnFile(path, back));
        QCOMPARE(back, cols);

        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("{\"columns\": [ {\"field\": \"X\"");   // cut short
        f.close();
        QVector<GridColumnLayout> kept{b};
        QVERIFY(!ReadColumnFile(path, kept));
        QCOMPARE(kept, QVector<GridColumnLayout>{b});
    }
};

QTEST_MAIN(GridLayoutTest)
#include "tst_GridLayout.moc"
