#include "core/error.h"
#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "cube/cubefile.h"
#include "cubefixture.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tessal::cube;
using tessal::cube::test::CashFixture;

namespace {

// The whole visible grid as text, to compare two cubes cell by cell.
QStringList gridOf(const Cube &cube)
{
    QStringList out;
    for (int r = 0; r < cube.rowCount(); ++r) {
        QStringList line;
        for (int l = 1; l <= cube.rowHeadingLevels(); ++l)
            line << cube.rowHeadingText(l, r);
        for (int c = 0; c < cube.columnCount(); ++c)
            line << cube.cellValue(c, r).toString();
        out << line.join(u'|');
    }
    for (int c = 0; c < cube.columnCount(); ++c)
        for (int l = 1; l <= cube.columnHeadingLevels(); ++l)
            out << cube.columnHeadingText(l, c);
    return out;
}

int errorNumberOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const tessal::Error &e) {
        return e.number();
    }
    return 0;
}

// Serves one HTTP response per connection on 127.0.0.1.
class TinyHttpServer : public QTcpServer
{
public:
    QByteArray body;
    int status = 200;
    explicit TinyHttpServer(QObject *parent = nullptr)
        : QTcpServer(parent)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->readAll().contains("\r\n\r\n"))
                        return;
                    const QByteArray reason = status == 200 ? "OK" : "Not Found";
                    s->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                             "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n");
                    s->write(body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
};

} // namespace

class tst_CubeFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void layoutOnlyReloadsFromDatabase();
    void missingFile();
    void passwords();
    void tamperedFiles_data();
    void tamperedFiles();
    void everyTruncationIsRefused();
    void foreignFiles();
    void loadFromAddress();
    void addressFailure();

private:
    std::unique_ptr<CashFixture> m_fixture;
    QTemporaryDir m_dir;
    void prepare(Cube &cube);
};

void tst_CubeFile::initTestCase()
{
    m_fixture = std::make_unique<CashFixture>(600);
}

void tst_CubeFile::prepare(Cube &cube)
{
    cube.setDefinition(analysisCubeDefinition(m_fixture->path()));
    cube.load(m_fixture->database());
    // a layout worth keeping: another row field, a ranking, a renamed and an excluded item
    CubeField *conta = cube.pageFields().item(u"ds_conta"_s);
    conta->setOrientation(Orientation::Row);
    conta->setRankingMode(RankingMode::Descending);
    conta->setRankingDataField(1);
    CubeField *status = cube.pageFields().item(u"cd_tipo"_s);
    status->setItemCaption(status->itemIndex(u"C"_s), u"Crédito"_s);
    CubeField *baixa = cube.pageFields().item(u"ds_baixa"_s);
    baixa->setItemIncluded(baixa->itemIndex(u"Baixado"_s), false);
    cube.columnFields().item(0)->setGroupFooter(0);
}

void tst_CubeFile::roundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("password");
    for (int kind = 0; kind < 4; ++kind) {
        QTest::addRow("kind %d", kind) << kind << QString();
        QTest::addRow("kind %d with password", kind) << kind << u"segredo"_s;
    }
}

void tst_CubeFile::roundTrip()
{
    QFETCH(int, kind);
    QFETCH(QString, password);
    Cube original;
    prepare(original);
    original.setPassword(password);
    const QString path = m_dir.filePath(u"cubo%1.cub"_s.arg(kind));
    QVERIFY(original.saveToFile(path, kind));

    Cube copy;
    copy.setPassword(password);
    copy.setDatabaseOpener([this](const QString &dbPath) {
        // layout-only files go back to the database their DatabaseName names
        if (dbPath != m_fixture->path())
            throw tessal::Error(1, u"wrong database"_s, u"test"_s);
        return m_fixture->database();
    });
    QVERIFY(copy.loadFromFile(path));
    QCOMPARE(copy.definition(), original.definition());
    QCOMPARE(copy.hasData(), true);
    QCOMPARE(gridOf(copy), gridOf(original));

    // kinds 0 and 2 open without any database
    if ((kind & 1) == 0) {
        Cube standalone;
        standalone.setPassword(password);
        QVERIFY(standalone.loadFromFile(path));
        QCOMPARE(gridOf(standalone), gridOf(original));
        QCOMPARE(standalone.loadedRowCount(), original.loadedRowCount());
    }
}

void tst_CubeFile::layoutOnlyReloadsFromDatabase()
{
    Cube original;
    prepare(original);
    const QByteArray layout = original.saveToBytes(SaveKind::LayoutOnly);
    const QByteArray full = original.saveToBytes(SaveKind::LayoutAndData);
    QVERIFY(layout.size() * 10 < full.size());
    QVERIFY(original.saveToBytes(SaveKind::LayoutAndData | SaveKind::Compressed).size() <
            full.size());
    // by default the cube opens the database its DatabaseName names
    Cube reloaded;
    reloaded.loadFromBytes(layout);
    QVERIFY(reloaded.hasData());
    QCOMPARE(gridOf(reloaded), gridOf(original));
    // without a way to the database the layout stands alone, with no rows
    Cube copy;
    copy.setDatabaseOpener({});
    copy.loadFromBytes(layout);
    QVERIFY(!copy.hasData());
    QCOMPARE(copy.rowCount(), 0);
    QCOMPARE(copy.definition(), original.definition());
}

void tst_CubeFile::missingFile()
{
    Cube cube;
    QCOMPARE(errorNumberOf([&] { cube.loadFromFile(m_dir.filePath(u"nada.cub"_s)); }), 1014);
    QCOMPARE(errorNumberOf([&] { cube.loadFromFile(QString()); }), 1014);
}

void tst_CubeFile::passwords()
{
    Cube original;
    prepare(original);
    original.setPassword(u"segredo"_s);
    const QByteArray bytes = original.saveToBytes(SaveKind::LayoutAndData | SaveKind::Compressed);
    QVERIFY(!bytes.contains("Banco do Brasil")); // the rows are not readable without the key
    Cube cube;
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), 1021);
    cube.setPassword(u"Segredo"_s);
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), 1021);
    QCOMPARE(cube.fields().count(), 0); // a failed load leaves the cube as it was
    cube.setPassword(u"segredo"_s);
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), 0);
    QCOMPARE(gridOf(cube), gridOf(original));
    // a password offered to an unprotected file is not needed and does no harm
    original.setPassword(QString());
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(original.saveToBytes(0)); }), 0);
}

void tst_CubeFile::tamperedFiles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("password");
    QTest::addColumn<double>("where"); // fraction of the file where a byte is flipped
    for (double where : {0.2, 0.5, 0.99}) {
        QTest::addRow("plain at %.2f", where) << 0 << QString() << where;
        QTest::addRow("compressed at %.2f", where) << 2 << QString() << where;
        QTest::addRow("protected at %.2f", where) << 2 << u"pw"_s << where;
    }
}

void tst_CubeFile::tamperedFiles()
{
    QFETCH(int, kind);
    QFETCH(QString, password);
    QFETCH(double, where);
    Cube original;
    prepare(original);
    original.setPassword(password);
    QByteArray bytes = original.saveToBytes(kind);
    const auto at = qsizetype(where * double(bytes.size()));
    QVERIFY(at > 100); // past the header: the password check still passes
    bytes[at] = char(bytes[at] ^ 0x20);
    Cube cube;
    cube.setPassword(password);
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), 1024);
}

void tst_CubeFile::everyTruncationIsRefused()
{
    Cube small;
    small.addField(u"a"_s, u"A"_s, Orientation::Row);
    small.addField(u"b"_s, u"B"_s, Orientation::Data);
    RowTable t;
    t.columns = {u"a"_s, u"b"_s};
    t.rows = {{u"x"_s, 1.5}, {u"y"_s, 2}};
    small.loadRows(t);
    for (int kind = 0; kind < 4; ++kind) {
        const QByteArray bytes = small.saveToBytes(kind);
        for (qsizetype n = 0; n < bytes.size(); ++n) {
            Cube cube;
            QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes.left(n)); }), 1024);
        }
    }
}

void tst_CubeFile::foreignFiles()
{
    Cube cube;
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes("PK\x03\x04 not a cube at all"); }), 1024);
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(QByteArray(4096, '\0')); }), 1024);
    QByteArray newer = cube.saveToBytes(0);
    newer[8] = 9; // a version this program does not know
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(newer); }), 1024);
    const QString text = m_dir.filePath(u"texto.cub"_s);
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("SELECT * FROM lancamentos\n");
    f.close();
    QCOMPARE(errorNumberOf([&] { cube.loadFromFile(text); }), 1024);
}

void tst_CubeFile::loadFromAddress()
{
    Cube original;
    prepare(original);
    TinyHttpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    server.body = original.saveToBytes(SaveKind::LayoutAndData | SaveKind::Compressed);
    Cube cube;
    QSignalSpy done(&cube, &Cube::addressLoaded);
    cube.setLoadFromAddress(u"http://127.0.0.1:%1/vendas.cub"_s.arg(server.serverPort()));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.first().at(0).toBool(), true);
    QCOMPARE(gridOf(cube), gridOf(original));
}

void tst_CubeFile::addressFailure()
{
    TinyHttpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    Cube cube;
    QSignalSpy done(&cube, &Cube::addressLoaded);
    server.status = 404;
    cube.setLoadFromAddress(u"http://127.0.0.1:%1/nada.cub"_s.arg(server.serverPort()));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.last().at(0).toBool(), false);
    QCOMPARE(done.last().at(1).toInt(), int(CubeError::FetchFailed));
    server.status = 200;
    server.body = "garbage";
    cube.setLoadFromAddress(u"http://127.0.0.1:%1/lixo.cub"_s.arg(server.serverPort()));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.last().at(0).toBool(), false);
    QCOMPARE(done.last().at(1).toInt(), int(CubeError::BadFile));
}

QTEST_GUILESS_MAIN(tst_CubeFile)
#include "tst_cubefile.moc"
