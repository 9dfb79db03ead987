#include "core/backdrop.h"
#include "core/config.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "core/money.h"
#include "core/passwordhash.h"
#include "testsupport/filesizelimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tessal;

class TestCore : public QObject
{
    Q_OBJECT

private:
    static void writeBytes(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private slots:
    void configLastLineIsDataDirectory_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one line") << QByteArray("/srv/caixa\r\n") << QStringLiteral("/srv/caixa");
        QTest::newRow("three lines gives the third")
            << QByteArray("/a\r\n/b\r\n/c\r\n") << QStringLiteral("/c");
        QTest::newRow("no final line end") << QByteArray("/a\r\n/b") << QStringLiteral("/b");
        QTest::newRow("unix line ends") << QByteArray("/a\n/b\n") << QStringLiteral("/b");
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("trailing empty line wins") << QByteArray("/a\r\n\r\n") << QString();
        QTest::newRow("accented folder") << QStringLiteral("/home/joão/caixa\r\n").toUtf8()
                                         << QStringLiteral("/home/joão/caixa");
    }
    void configLastLineIsDataDirectory()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = configFilePath(dir.path());
        writeBytes(path, bytes);
        QCOMPARE(readDataDirectory(path), expected);
    }

    void configWrittenAsOneLineWithCrLf()
    {
        QTemporaryDir dir;
        const QString path = configFilePath(dir.path());
        writeBytes(path, "old\r\ncontent\r\n");
        writeConfigFile(path, QStringLiteral("/opt/tessal"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("/opt/tessal\r\n"));
        QCOMPARE(readDataDirectory(path), QStringLiteral("/opt/tessal"));
    }

    // A write that fails half-way (a full disk) leaves the old sys.ini whole and says so. The new
    // text fits in the file's buffer, so the failure comes at the last flush, inside the commit.
    void configWriteCutShortKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = configFilePath(dir.path());
        writeBytes(path, "/opt/antigo\r\n");
        const QString longDirectory = QStringLiteral("/dados/") + QString(10000, u'x');
        {
            test::FileSizeLimit limit(4096);
            QVERIFY(limit.isSet());
            QVERIFY_THROWS_EXCEPTION(Error, writeConfigFile(path, longDirectory));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("/opt/antigo\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("sys.ini")});
    }

    void configMissingOrUnwritableThrows()
    {
        QTemporaryDir dir;
        QVERIFY_THROWS_EXCEPTION(Error,
                                 readDataDirectory(dir.filePath(QStringLiteral("none.ini"))));
        QVERIFY_THROWS_EXCEPTION(
            Error, writeConfigFile(dir.filePath(QStringLiteral("no/such/dir/sys.ini")),
                                   QStringLiteral("/x")));
    }

    void pathsUseThePlatformSeparator()
    {
        QCOMPARE(joinPath(QStringLiteral("/dados"), QStringLiteral("caixa.mdb")),
                 QStringLiteral("/dados") + QDir::separator() + QStringLiteral("caixa.mdb"));
        QCOMPARE(configFilePath(QStringLiteral("/opt/t")),
                 QStringLiteral("/opt/t") + QDir::separator() + QStringLiteral("sys.ini"));
    }

    void backdropBandGeometry()
    {
        const auto bands = backdropBands(6300);
        QCOMPARE(bands.size(), std::size_t(63));
        for (std::size_t i = 0; i < bands.size(); ++i) {
            QCOMPARE(bands[i].height, 100);
            // painted from the bottom up
            QCOMPARE(bands[i].top, 6200 - static_cast<int>(i) * 100);
        }
        QCOMPARE(bands.front().colour, qRgb(0, 255, 255));
        QCOMPARE(bands[1].colour, qRgb(0, 250, 250));
        QCOMPARE(bands[50].colour, qRgb(0, 5, 5));
        QCOMPARE(bands[51].colour, qRgb(0, 0, 0)); // the 52nd band and above are black
        QCOMPARE(bands.back().colour, qRgb(0, 0, 0));
    }

    void backdropCoversTallAndOddWindows_data()
    {
        QTest::addColumn<int>("height");
        QTest::newRow("taller than 16 bits") << 70000;
        QTest::newRow("remainder left by rounding down") << 650;
        QTest::newRow("rounded up") << 660;
        QTest::newRow("smaller than the band count") << 20;
    }
    void backdropCoversTallAndOddWindows()
    {
        QFETCH(int, height);
        // Each row of the window lies in some band: a strip left unpainted would show garbage.
        std::vector<bool> covered(static_cast<std::size_t>(height), false);
        for (const BackdropBand &band : backdropBands(height)) {
            for (int y = std::max(0, band.top); y < std::min(height, band.top + band.height); ++y)
                covered[static_cast<std::size_t>(y)] = true;
        }
        QVERIFY(std::all_of(covered.begin(), covered.end(), [](bool c) { return c; }));
        if (height == 70000)
            QCOMPARE(backdropBands(height).front().top, 70000 - 1111);
    }

    void backdropTopDown()
    {
        BackdropStyle style;
        style.direction = -1;
        const auto bands = backdropBands(630, style);
        QCOMPARE(bands.front().top, 0);
        QCOMPARE(bands[1].top, 10);
    }

    void amountsParsedByLocale_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("cents");
        QTest::newRow("integer") << QStringLiteral("50") << true << qint64(5000);
        QTest::newRow("comma decimals") << QStringLiteral("0,10") << true << qint64(10);
        QTest::newRow("one decimal") << QStringLiteral("12,5") << true << qint64(1250);
        QTest::newRow("grouped") << QStringLiteral("1.234,56") << true << qint64(123456);
        QTest::newRow("negative") << QStringLiteral("-20") << true << qint64(-2000);
        QTest::newRow("spaces") << QStringLiteral("  7,00 ") << true << qint64(700);
        QTest::newRow("three decimals") << QStringLiteral("1,234") << false << qint64(0);
        QTest::newRow("dot is grouping in pt_BR") << QStringLiteral("1.5") << false << qint64(0);
        QTest::newRow("letters") << QStringLiteral("abc") << false << qint64(0);
        QTest::newRow("empty") << QString() << false << qint64(0);
        QTest::newRow("two separators") << QStringLiteral("1,2,3") << false << qint64(0);
        // Twelve digits before the cents, no more: beyond them a stored double no longer holds
        // the balances of such amounts exactly.
        QTest::newRow("twelve digits")
            << QStringLiteral("999999999999,99") << true << qint64(99999999999999);
        QTest::newRow("twelve digits grouped")
            << QStringLiteral("123.456.789.012,34") << true << qint64(12345678901234);
        QTest::newRow("leading zeros do not count")
            << QStringLiteral("0000000000001,5") << true << qint64(150);
        QTest::newRow("thirteen digits") << QStringLiteral("1000000000000") << false << qint64(0);
        QTest::newRow("fourteen digits and cents")
            << QStringLiteral("12345678901234,56") << false << qint64(0);
    }
    void amountsParsedByLocale()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(qint64, cents);
        const auto parsed = parseAmount(text, QLocale(QLocale::Portuguese, QLocale::Brazil));
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(*parsed, cents);
    }

    void amountsFormatted()
    {
        const QLocale br(QLocale::Portuguese, QLocale::Brazil);
        QCOMPARE(formatFixed2(14000, br), QStringLiteral("140,00"));
        QCOMPARE(formatFixed2(-2000, br), QStringLiteral("-20,00"));
        QCOMPARE(formatFixed2(5, br), QStringLiteral("0,05"));
        QCOMPARE(formatFixed2(-5, br), QStringLiteral("-0,05"));
        QCOMPARE(formatFixed2(123456789, QLocale::c()), QStringLiteral("1234567.89"));
        QCOMPARE(formatGrouped2(123456789, br), QStringLiteral("1.234.567,89"));
        // 0.1 + 0.2 in doubles is not 0.3; in cents it is.
        QCOMPARE(centsFromDouble(0.1) + centsFromDouble(0.2), centsFromDouble(0.3));
        QCOMPARE(formatPlain(30.0, br), QStringLiteral("30"));
        QCOMPARE(formatPlain(1234.5, br), QStringLiteral("1234,5"));
        // In full, never rounded to fifteen digits nor in exponent form.
        QCOMPARE(formatPlain(999999999999.99, br), QStringLiteral("999999999999,99"));
        QCOMPARE(formatPlain(12345678901234.56, br), QStringLiteral("12345678901234,56"));
        QCOMPARE(formatPlain(1e15, br), QStringLiteral("1000000000000000"));
        QCOMPARE(formatPlain(-0.05, br), QStringLiteral("-0,05"));
    }

    // What the ledger shows of an amount is what it reads back when the operator stores the
    // field untouched: every amount it accepts comes back to the cent.
    void shownAmountsReadBackExactly_data()
    {
        QTest::addColumn<qint64>("cents");
        for (const qint64 cents :
             {qint64(1), qint64(10), qint64(12345), qint64(-2000), qint64(99999999999999),
              qint64(12345678901234), qint64(10000000000001), qint64(70368744177663)})
            QTest::addRow("%lld", static_cast<long long>(cents)) << cents;
    }
    void shownAmountsReadBackExactly()
    {
        QFETCH(qint64, cents);
        const QLocale br(QLocale::Portuguese, QLocale::Brazil);
        const QString shown = formatPlain(doubleFromCents(cents), br);
        QCOMPARE(parseAmount(shown, br), std::optional<Cents>(cents));
        QCOMPARE(parseAmount(formatFixed2(cents, br), br), std::optional<Cents>(cents));
        QCOMPARE(parseAmount(formatGrouped2(cents, br), br), std::optional<Cents>(cents));
    }

    void fileFiltersConverted()
    {
        QCOMPARE(
            qtFileFilter(QStringLiteral("All Files (*.*)|*.*|Arquivo de Dados (*.mdb)|*.mdb|")),
            QStringLiteral("All Files (*);;Arquivo de Dados (*.mdb)"));
        QCOMPARE(qtFileFilter(QStringLiteral("CUB Files (*.CUB)|*.cub")),
                 QStringLiteral("CUB Files (*.cub)"));
    }

    void passwordsHashedAndCheckedExactly()
    {
        const QString hash = hashPassword(QStringLiteral("Senha1"));
        QVERIFY(!hash.contains(QStringLiteral("Senha1")));
        QVERIFY(hash.startsWith(QStringLiteral("$argon2id$")));
        QVERIFY(verifyPassword(hash, QStringLiteral("Senha1")));
        QVERIFY(!verifyPassword(hash, QStringLiteral("senha1")));
        QVERIFY(!verifyPassword(hash, QStringLiteral("Senha1 ")));
        QVERIFY(!verifyPassword(hash, QString()));
        QVERIFY(hashPassword(QStringLiteral("Senha1")) != hash); // salted
        // A value that is not a hash, such as a password stored as typed, matches nothing.
        QVERIFY(!verifyPassword(QStringLiteral("Senha1"), QStringLiteral("Senha1")));
        QVERIFY(!verifyPassword(QString(), QString()));
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
