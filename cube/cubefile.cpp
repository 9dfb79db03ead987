#include "cube/cubefile.h"

#include "core/error.h"
#include "cube/cube.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <sodium.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString Source = u"Cube"_s;
constexpr char Magic[8] = {'T', 'E', 'S', 'S', 'A', 'L', 'C', 'B'};
constexpr quint16 Version = 1;
constexpr quint8 FlagEncrypted = 1;
constexpr size_t SaltBytes = crypto_pwhash_SALTBYTES;
constexpr size_t NonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t CheckBytes = 16;
constexpr size_t PlainHeaderBytes = 8 + 2 + 1 + 1;
constexpr size_t CryptoHeaderBytes = SaltBytes + 8 + 8 + CheckBytes + NonceBytes;
constexpr quint64 MaxOpsLimit = 16;
constexpr quint64 MaxMemLimit = quint64(256) << 20;
constexpr quint32 LayoutTag = 0x5459414c; // "LAYT"
constexpr quint32 DataTag = 0x41544144;   // "DATA"

[[noreturn]] void bad(const QString &why)
{
    throw Error(CubeError::BadFile, u"Arquivo de cubo inválido ou danificado: "_s + why, Source);
}

void ensureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw Error(CubeError::BadFile, u"Biblioteca de criptografia indisponível."_s, Source);
}

class Writer
{
public:
    QByteArray bytes;
    void raw(const void *p, size_t n) { bytes.append(static_cast<const char *>(p), qsizetype(n)); }
    template<typename T> void num(T v)
    {
        raw(&v, sizeof v); // little-endian hosts only, checked at compile time below
    }
    void u8(quint8 v) { num(v); }
    void u32(quint32 v) { num(v); }
    void i32(qint32 v) { num(v); }
    void u64(quint64 v) { num(v); }
    void boolean(bool v) { u8(v ? 1 : 0); }
    void str(const QString &s)
    {
        const QByteArray utf8 = s.toUtf8();
        u32(static_cast<quint32>(utf8.size()));
        raw(utf8.constData(), size_t(utf8.size()));
    }
};
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "cube files are written little-endian");

class Reader
{
public:
    Reader(const char *p, size_t n)
        : m_p(p)
        , m_left(n)
    {}
    size_t left() const { return m_left; }
    void raw(void *out, size_t n)
    {
        need(n);
        if (n == 0)
            return; // an empty vector's data() may be null, which memcpy must not be given
        std::memcpy(out, m_p, n);
        m_p += n;
        m_left -= n;
    }
    template<typename T> T num()
    {
        T v;
        raw(&v, sizeof v);
        return v;
    }
    quint8 u8() { return num<quint8>(); }
    quint32 u32() { return num<quint32>(); }
    qint32 i32() { return num<qint32>(); }
    quint64 u64() { return num<quint64>(); }
    bool boolean()
    {
        const quint8 v = u8();
        if (v > 1)
            bad(u"valor lógico"_s);
        return v == 1;
    }
    QString str()
    {
        const quint32 n = u32();
        need(n);
        QString s = QString::fromUtf8(m_p, qsizetype(n));
        m_p += n;
        m_left -= n;
        return s;
    }
    std::string_view bytes()
    {
        const quint32 n = u32();
        need(n);
        const std::string_view v(m_p, n);
        m_p += n;
        m_left -= n;
        return v;
    }
    // a count of elements that each take at least `minBytes` of what is left
    size_t count(size_t minBytes, quint64 n)
    {
        if (minBytes && n > m_left / minBytes)
            bad(u"tamanho além do fim"_s);
        return size_t(n);
    }
    template<typename T> void array(std::vector<T> &out, size_t n)
    {
        count(sizeof(T), n);
        out.resize(n);
        raw(out.data(), n * sizeof(T));
    }

private:
    void need(size_t n)
    {
        if (n > m_left)
            bad(u"fim inesperado"_s);
    }
    const char *m_p;
    size_t m_left;
};

// The fewest bytes a field takes in the layout: its five strings (caption, name, source
// expression, number format, total caption) as bare lengths, eight 32-bit numbers (orientation,
// position, group footer, aggregate, heading width, ranking mode, ranking data field, ascending),
// three booleans and the item-state count. A field whose strings are all empty and that keeps no
// item states is exactly this size.
constexpr size_t MinFieldBytes = 5 * sizeof(quint32) + 8 * sizeof(qint32) + 3 + sizeof(quint32);
static_assert(MinFieldBytes == 59);
// An item state: its name and caption as bare lengths and the included flag.
constexpr size_t MinItemStateBytes = 2 * sizeof(quint32) + 1;

template<typename E> E enumIn(Reader &r, int lo, int hi, const QString &what)
{
    const qint32 v = r.i32();
    if (v < lo || v > hi)
        bad(what);
    return static_cast<E>(v);
}

void writeLayout(Writer &w, const CubeDefinition &d)
{
    const CubeProperties &p = d.properties;
    w.u32(LayoutTag);
    w.i32(p.connectType);
    for (const QString *s :
         {&p.connect, &p.databaseName, &p.recordSource, &p.sqlYearPart, &p.sqlQuarterPart,
          &p.sqlMonthPart, &p.sqlWeekPart, &p.headerCaption, &p.footerCaption})
        w.str(*s);
    w.boolean(p.autoDataRefresh);
    w.boolean(p.visible);
    w.u32(static_cast<quint32>(d.fields.size()));
    for (const FieldDefinition &f : d.fields) {
        w.str(f.caption);
        w.str(f.name);
        w.str(f.sourceExpression);
        w.i32(static_cast<qint32>(f.orientation));
        w.i32(f.position);
        w.boolean(f.visible);
        w.boolean(f.expanded);
        w.i32(f.groupFooter);
        w.str(f.numberFormat);
        w.i32(static_cast<qint32>(f.aggregate));
        w.boolean(f.calculated);
        w.i32(f.headingWidth);
        w.str(f.totalCaption);
        w.i32(static_cast<qint32>(f.rankingMode));
        w.i32(f.rankingDataField);
        w.i32(f.ascending);
        w.u32(static_cast<quint32>(f.itemStates.size()));
        for (auto it = f.itemStates.cbegin(); it != f.itemStates.cend(); ++it) {
            w.str(it.key());
            w.str(it->caption);
            w.boolean(it->included);
        }
    }
}

CubeDefinition readLayout(Reader &r)
{
    if (r.u32() != LayoutTag)
        bad(u"seção de layout"_s);
    CubeDefinition d;
    CubeProperties &p = d.properties;
    p.connectType = r.i32();
    for (QString *s :
         {&p.connect, &p.databaseName, &p.recordSource, &p.sqlYearPart, &p.sqlQuarterPart,
          &p.sqlMonthPart, &p.sqlWeekPart, &p.headerCaption, &p.footerCaption})
        *s = r.str();
    p.autoDataRefresh = r.boolean();
    p.visible = r.boolean();
    const size_t fields = r.count(MinFieldBytes, r.u32());
    d.fields.resize(fields);
    for (FieldDefinition &f : d.fields) {
        f.caption = r.str();
        f.name = r.str();
        f.sourceExpression = r.str();
        f.orientation = enumIn<Orientation>(r, 0, 4, u"orientação"_s);
        f.position = r.i32();
        f.visible = r.boolean();
        f.expanded = r.boolean();
        f.groupFooter = r.i32();
        f.numberFormat = r.str();
        f.aggregate = enumIn<Aggregate>(r, 0, 1, u"agregação"_s);
        f.calculated = r.boolean();
        f.headingWidth = r.i32();
        f.totalCaption = r.str();
        f.rankingMode = enumIn<RankingMode>(r, 0, 2, u"classificação"_s);
        f.rankingDataField = r.i32();
        f.ascending = r.i32();
        const size_t items = r.count(MinItemStateBytes, r.u32());
        for (size_t i = 0; i < items; ++i) {
            const QString name = r.str();
            ItemState s;
            s.caption = r.str();
            s.included = r.boolean();
            f.itemStates.insert(name, s);
        }
    }
    return d;
}

void writeData(Writer &w, const CubeData &data, size_t fieldCount)
{
    w.u32(DataTag);
    w.u64(data.rowCount);
    w.u32(static_cast<quint32>(fieldCount));
    for (size_t i = 0; i < fieldCount; ++i) {
        const FieldData &fd = data.fields[i];
        w.u8((fd.dimension ? 1 : 0) | (fd.measure ? 2 : 0));
        if (fd.dimension) {
            const Dictionary &d = fd.dimension->dictionary;
            w.i32(static_cast<qint32>(d.kind()));
            w.boolean(d.hasNull());
            switch (d.kind()) {
            case ValueKind::Integer:
            case ValueKind::Date:
                w.u32(static_cast<quint32>(d.m_ints.size()));
                w.raw(d.m_ints.data(), d.m_ints.size() * sizeof(qint64));
                break;
            case ValueKind::Number:
                w.u32(static_cast<quint32>(d.m_reals.size()));
                w.raw(d.m_reals.data(), d.m_reals.size() * sizeof(double));
                break;
            case ValueKind::Text:
                w.u32(static_cast<quint32>(d.m_texts.size()));
                for (size_t t = 0; t < d.m_texts.size(); ++t) {
                    const std::string_view v = d.m_texts.view(t);
                    w.u32(static_cast<quint32>(v.size()));
                    w.raw(v.data(), v.size());
                }
                break;
            }
            w.raw(fd.dimension->codes.data(), fd.dimension->codes.size() * sizeof(quint32));
        }
        if (fd.measure) {
            w.boolean(fd.measure->inCents);
            if (fd.measure->inCents)
                w.raw(fd.measure->cents.data(), fd.measure->cents.size() * sizeof(qint64));
            else
                w.raw(fd.measure->reals.data(), fd.measure->reals.size() * sizeof(double));
        }
    }
}

CubeData readData(Reader &r, size_t fieldCount)
{
    if (r.u32() != DataTag)
        bad(u"seção de dados"_s);
    CubeData data;
    const quint64 rows = r.u64();
    if (r.u32() != fieldCount)
        bad(u"número de campos"_s);
    // every field carries at least four bytes per row, so the rows cannot outnumber the bytes
    data.rowCount = fieldCount ? r.count(4 * fieldCount, rows) : 0;
    data.fields.resize(fieldCount);
    for (FieldData &fd : data.fields) {
        const quint8 parts = r.u8();
        if (parts == 0 || parts > 3)
            bad(u"coluna sem dados"_s);
        if (parts & 1) {
            auto col = std::make_shared<DimensionColumn>();
            const auto kind = enumIn<ValueKind>(r, 0, 3, u"tipo de valor"_s);
            const bool hasNull = r.boolean();
            quint32 size = 0;
            switch (kind) {
            case ValueKind::Integer:
            case ValueKind::Date: {
                std::vector<qint64> v;
                r.array(v, r.u32());
                for (size_t i = 1; i < v.size(); ++i)
                    if (!(v[i - 1] < v[i]))
                        bad(u"itens fora de ordem"_s);
                size = static_cast<quint32>(v.size());
                col->dictionary = Dictionary::makeIntegers(std::move(v), hasNull, kind);
                break;
            }
            case ValueKind::Number: {
                std::vector<double> v;
                r.array(v, r.u32());
                for (size_t i = 1; i < v.size(); ++i)
                    if (!(v[i - 1] < v[i]))
                        bad(u"itens fora de ordem"_s);
                if (v.size() == 1 && v[0] != v[0])
                    bad(u"item inválido"_s);
                size = static_cast<quint32>(v.size());
                col->dictionary = Dictionary::makeNumbers(std::move(v), hasNull);
                break;
            }
            case ValueKind::Text: {
                const size_t n = r.count(4, r.u32());
                TextPool texts;
                for (size_t i = 0; i < n; ++i)
                    texts.append(r.bytes());
                // Dictionary::find searches in compareTexts order, which is a total order (0
                // only for the same bytes): every item must come strictly after the one before.
                for (size_t i = 1; i < n; ++i)
                    if (compareTexts(texts.view(i - 1), texts.view(i)) >= 0)
                        bad(u"itens fora de ordem"_s);
                size = static_cast<quint32>(n);
                col->dictionary = Dictionary::makeTexts(std::move(texts), hasNull);
                break;
            }
            }
            const quint64 total = quint64(size) + (hasNull ? 1 : 0);
            if (total == 0 && data.rowCount > 0)
                bad(u"coluna vazia"_s);
            r.array(col->codes, data.rowCount);
            for (quint32 c : col->codes)
                if (c >= total)
                    bad(u"código de item"_s);
            fd.dimension = std::move(col);
        }
        if (parts & 2) {
            auto m = std::make_shared<MeasureColumn>();
            m->inCents = r.boolean();
            if (m->inCents) {
                r.array(m->cents, data.rowCount);
            } else {
                r.array(m->reals, data.rowCount);
                // No amount this program keeps is NaN: the loader keeps non-finite amounts as 0,
                // a NaN item is the null item, and amounts made from items come from those. A
                // NaN here is damage, and would only spread into every sum it meets. (Infinities
                // are kept: an item can be one, and a ranking meets the NaN their sums can make,
                // which it sorts last.)
                for (double v : m->reals)
                    if (std::isnan(v))
                        bad(u"valor inválido"_s);
            }
            fd.measure = std::move(m);
        }
    }
    return data;
}

QByteArray deflate(const QByteArray &raw)
{
    uLongf bound = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(bound), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &bound,
                  reinterpret_cast<const Bytef *>(raw.constData()), uLong(raw.size()), 6) != Z_OK)
        throw Error(CubeError::WriteFailed, u"Falha ao compactar o cubo."_s, Source);
    out.resize(qsizetype(bound));
    return out;
}

QByteArray inflateBody(const char *p, size_t n, quint64 expected)
{
    if (expected > quint64(MaxCubeBodyBytes))
        bad(u"tamanho descompactado"_s);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        bad(u"zlib"_s);
    QByteArray out;
    // grown as the stream delivers, never trusting the announced size for the allocation
    out.resize(qsizetype(std::min<quint64>(expected, quint64(n) * 4 + 4096)));
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(p));
    zs.avail_in = uInt(n);
    size_t produced = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (produced == size_t(out.size())) {
            if (produced >= expected) {
                inflateEnd(&zs);
                bad(u"dados compactados além do tamanho"_s);
            }
            out.resize(qsizetype(std::min<quint64>(expected, quint64(out.size()) * 2)));
        }
        zs.next_out = reinterpret_cast<Bytef *>(out.data() + produced);
        zs.avail_out = uInt(size_t(out.size()) - produced);
        rc = inflate(&zs, Z_NO_FLUSH);
        produced = size_t(out.size()) - zs.avail_out;
        if (rc != Z_OK && rc != Z_STREAM_END) {
            inflateEnd(&zs);
            bad(u"dados compactados"_s);
        }
        if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) {
            inflateEnd(&zs);
            bad(u"dados compactados truncados"_s);
        }
    }
    inflateEnd(&zs);
    if (produced != expected || zs.avail_in != 0)
        bad(u"tamanho descompactado"_s);
    return out;
}

struct Keys
{
    unsigned char key[crypto_aead_xchacha20poly1305_ietf_KEYBYTES];
    unsigned char check[CheckBytes];
};

Keys deriveKeys(const QString &password, const unsigned char *salt, quint64 ops, quint64 mem)
{
    ensureSodium();
    const QByteArray pw = password.toUtf8();
    unsigned char material[64];
    if (crypto_pwhash(material, sizeof material, pw.constData(), quint64(pw.size()), salt, ops,
                      size_t(mem), crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw Error(CubeError::BadFile, u"Memória insuficiente para a senha do cubo."_s, Source);
    Keys k;
    std::memcpy(k.key, material, sizeof k.key);
    crypto_generichash(k.check, sizeof k.check, material + 32, 32, nullptr, 0);
    sodium_memzero(material, sizeof material);
    return k;
}

} // namespace

QByteArray writeCubeFile(const CubeDefinition &definition, const CubeData *data, int saveKind,
                         const QString &password)
{
    if (saveKind < 0 || saveKind > 3)
        throw Error(CubeError::WriteFailed, u"Tipo de gravação inválido."_s, Source);
    Writer body;
    writeLayout(body, definition);
    const bool withData = (saveKind & SaveKind::LayoutOnly) == 0 && data;
    body.boolean(withData);
    if (withData)
        writeData(body, *data, definition.fields.size());

    QByteArray payload;
    if (saveKind & SaveKind::Compressed) {
        Writer w;
        w.u64(quint64(body.bytes.size()));
        payload = w.bytes + deflate(body.bytes);
    } else {
        payload = std::move(body.bytes);
    }

    Writer header;
    header.raw(Magic, sizeof Magic);
    header.num<quint16>(Version);
    header.u8(static_cast<quint8>(saveKind | (withData ? 0 : SaveKind::LayoutOnly)));
    header.u8(password.isEmpty() ? 0 : FlagEncrypted);
    if (password.isEmpty()) {
        // an unprotected file still has to notice damage: a CRC-32 over all that precedes it
        QByteArray file = header.bytes + payload;
        Writer tail;
        tail.u32(static_cast<quint32>(
            crc32(0, reinterpret_cast<const Bytef *>(file.constData()), uInt(file.size()))));
        return file + tail.bytes;
    }

    ensureSodium();
    unsigned char salt[SaltBytes];
    unsigned char nonce[NonceBytes];
    randombytes_buf(salt, sizeof salt);
    randombytes_buf(nonce, sizeof nonce);
    const quint64 ops = crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const quint64 mem = crypto_pwhash_MEMLIMIT_INTERACTIVE;
    Keys keys = deriveKeys(password, salt, ops, mem);
    header.raw(salt, sizeof salt);
    header.u64(ops);
    header.u64(mem);
    header.raw(keys.check, sizeof keys.check);
    header.raw(nonce, sizeof nonce);
    QByteArray sealed(payload.size() + qsizetype(crypto_aead_xchacha20poly1305_ietf_ABYTES),
                      Qt::Uninitialized);
    unsigned long long sealedLength = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        reinterpret_cast<unsigned char *>(sealed.data()), &sealedLength,
        reinterpret_cast<const unsigned char *>(payload.constData()), quint64(payload.size()),
        reinterpret_cast<const unsigned char *>(header.bytes.constData()),
        quint64(header.bytes.size()), nullptr, nonce, keys.key);
    sodium_memzero(&keys, sizeof keys);
    sealed.resize(qsizetype(sealedLength));
    return header.bytes + sealed;
}

CubeFileContents readCubeFile(const QByteArray &bytes, const QString &password)
{
    if (size_t(bytes.size()) < PlainHeaderBytes || std::memcmp(bytes.constData(), Magic, 8) != 0)
        bad(u"não é um arquivo de cubo"_s);
    Reader head(bytes.constData() + 8, size_t(bytes.size()) - 8);
    const auto version = head.num<quint16>();
    if (version != Version)
        bad(u"versão "_s + QString::number(version) + u" desconhecida"_s);
    const quint8 kind = head.u8();
    const quint8 flags = head.u8();
    if (kind > 3 || (flags & ~FlagEncrypted) != 0)
        bad(u"cabeçalho"_s);

    QByteArray plain;
    const char *payload = bytes.constData() + PlainHeaderBytes;
    size_t payloadSize = size_t(bytes.size()) - PlainHeaderBytes;
    if (flags & FlagEncrypted) {
        if (payloadSize < CryptoHeaderBytes + crypto_aead_xchacha20poly1305_ietf_ABYTES)
            bad(u"cabeçalho de proteção truncado"_s);
        unsigned char salt[SaltBytes], check[CheckBytes], nonce[NonceBytes];
        head.raw(salt, sizeof salt);
        const quint64 ops = head.u64();
        const quint64 mem = head.u64();
        head.raw(check, sizeof check);
        head.raw(nonce, sizeof nonce);
        if (ops < crypto_pwhash_OPSLIMIT_MIN || ops > MaxOpsLimit ||
            mem < crypto_pwhash_MEMLIMIT_MIN || mem > MaxMemLimit)
            bad(u"parâmetros da senha"_s);
        if (password.isEmpty())
            throw Error(CubeError::WrongPassword, u"O arquivo do cubo exige uma senha."_s, Source);
        Keys keys = deriveKeys(password, salt, ops, mem);
        if (sodium_memcmp(keys.check, check, CheckBytes) != 0) {
            sodium_memzero(&keys, sizeof keys);
            throw Error(CubeError::WrongPassword, u"Senha incorreta para o arquivo do cubo."_s,
                        Source);
        }
        const size_t headerSize = PlainHeaderBytes + CryptoHeaderBytes;
        const auto *sealed =
            reinterpret_cast<const unsigned char *>(bytes.constData()) + headerSize;
        const size_t sealedSize = size_t(bytes.size()) - headerSize;
        plain.resize(qsizetype(sealedSize - crypto_aead_xchacha20poly1305_ietf_ABYTES));
        unsigned long long plainLength = 0;
        const int rc = crypto_aead_xchacha20poly1305_ietf_decrypt(
            reinterpret_cast<unsigned char *>(plain.data()), &plainLength, nullptr, sealed,
            sealedSize, reinterpret_cast<const unsigned char *>(bytes.constData()), headerSize,
            nonce, keys.key);
        sodium_memzero(&keys, sizeof keys);
        if (rc != 0)
            bad(u"conteúdo protegido alterado"_s);
        payload = plain.constData();
        payloadSize = size_t(plainLength);
    } else {
        if (payloadSize < 4)
            bad(u"fim inesperado"_s);
        payloadSize -= 4;
        quint32 stored;
        std::memcpy(&stored, payload + payloadSize, 4);
        const auto actual = static_cast<quint32>(
            crc32(0, reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size() - 4)));
        if (stored != actual)
            bad(u"soma de verificação"_s);
    }

    QByteArray inflated;
    if (kind & SaveKind::Compressed) {
        Reader r(payload, payloadSize);
        const quint64 rawSize = r.u64();
        if (rawSize == 0)
            bad(u"tamanho descompactado"_s);
        inflated = inflateBody(payload + 8, payloadSize - 8, rawSize);
        payload = inflated.constData();
        payloadSize = size_t(inflated.size());
    }

    Reader r(payload, payloadSize);
    CubeFileContents contents;
    contents.definition = readLayout(r);
    contents.hasData = r.boolean();
    if (contents.hasData && (kind & SaveKind::LayoutOnly))
        bad(u"dados num arquivo só de layout"_s);
    if (contents.hasData)
        contents.data = readData(r, contents.definition.fields.size());
    if (r.left() != 0)
        bad(u"bytes a mais no fim"_s);
    return contents;
}

} // namespace tessal::cube
