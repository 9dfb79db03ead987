// What the log viewer reads: the user's own daily files, and their items by the delimited-input
// rule, whatever the size of the pieces the text arrives in.

#include "core/activitylog.h"
#include "reports/delimitedinput.h"
#include "reports/logfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tessal::reports::DelimitedReader;

class tst_LogReading : public QObject
{
    Q_OBJECT

private slots:
    void itemsByTheDelimitedRule_data();
    void itemsByTheDelimitedRule();
    void onlyTheUsersDailyFilesAreListed();
};

void tst_LogReading::itemsByTheDelimitedRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");

    const QString record =
        u"Data: 07/12/2026 Hora: 09:05.33-Supervisor-**** EFETUOU LOGIN NO SISTEMA-**"_s;
    const QString hyphens(113, u'-');
    QTest::newRow("a log record is two items")
        << record + u"\r\n"_s + hyphens + u"\r\n"_s << QStringList{record, hyphens};
    QTest::newRow("commas split a line") << u"a,b,c\r\n"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("spaces before an item are skipped, after it kept")
        << u"  a  ,   b\r\n"_s << QStringList{u"a  "_s, u"b"_s};
    QTest::newRow("a quoted item runs to the next quote")
        << u"\"a, b\",c\r\n"_s << QStringList{u"a, b"_s, u"c"_s};
    QTest::newRow("after the closing quote, up to the comma, dropped")
        << u"  \"a\" xyz,b\r\n"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("a quoted item across lines")
        << u"\"linha 1\r\nlinha 2\",x\r\n"_s << QStringList{u"linha 1\r\nlinha 2"_s, u"x"_s};
    QTest::newRow("an empty line is an empty item")
        << u"a\r\n\r\nb\r\n"_s << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("a comma before the line end leaves an empty item")
        << u"a,\r\nb"_s << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("two commas") << u"a,,b"_s << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("LF and lone CR end lines too")
        << u"a\nb\rc"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("no line end at the end") << u"a,b"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("a quote never closed keeps what it read")
        << u"x,\"abc\r\n"_s << QStringList{u"x"_s, u"abc\r\n"_s};
    QTest::newRow("a quote inside an item is a letter")
        << u"ab\"c,d"_s << QStringList{u"ab\"c"_s, u"d"_s};
    QTest::newRow("nothing") << QString() << QStringList();
}

void tst_LogReading::itemsByTheDelimitedRule()
{
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    // Whole, then in pieces of every size up to four characters, so that an item, a quote and a
    // CR LF are cut between two pieces somewhere.
    for (int piece = 0; piece <= 4; ++piece) {
        DelimitedReader reader;
        QStringList read;
        const auto collect = [&read](const QString &item) { read << item; };
        if (piece == 0) {
            reader.feed(text, collect);
        } else {
            for (qsizetype at = 0; at < text.size(); at += piece)
                reader.feed(QStringView(text).mid(at, piece), collect);
        }
        reader.finish(collect);
        QCOMPARE(read, items);
    }
}

void tst_LogReading::onlyTheUsersDailyFilesAreListed()
{
    QTemporaryDir dir;
    for (const char *name : {"FC001071226.log", "FC001010126.log", "FC001311225.log",
                             "FC0011010126.log", "FC002071226.log", "tessal.log", "FC001.log",
                             "FC001xx1226.log", "FC001071226.log.bak", "fc001071226.LOG"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // Newest day first; the user whose code begins with "001" and the error log stay out.
    QCOMPARE(tessal::reports::userLogFiles(dir.path(), u"001"_s),
             (QStringList{u"FC001071226.log"_s, u"FC001010126.log"_s, u"FC001311225.log"_s}));
    QCOMPARE(tessal::reports::userLogFiles(dir.path(), u"0011"_s),
             QStringList{u"FC0011010126.log"_s});
    QCOMPARE(tessal::reports::logFileDay(
                 tessal::ActivityLog::fileName(u"001"_s, QDate(2026, 12, 7)), u"001"_s),
             QDate(2026, 12, 7));
}

QTEST_GUILESS_MAIN(tst_LogReading)
#include "tst_logreading.moc"
