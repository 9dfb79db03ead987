#include "cube/xls/cfbwriter.h"

#include <QtEndian>
#include <algorithm>
#include <vector>

namespace tessal::cube::xls {

namespace {

constexpr quint32 FreeSect = 0xFFFFFFFFu;
constexpr quint32 EndOfChain = 0xFFFFFFFEu;
constexpr quint32 FatSect = 0xFFFFFFFDu;
constexpr quint32 DifSect = 0xFFFFFFFCu;
constexpr quint32 NoStream = 0xFFFFFFFFu;
constexpr int SectorSize = 512;
constexpr int EntriesPerSector = SectorSize / 4;
constexpr int HeaderDifat = 109;

void put16(QByteArray &b, qsizetype at, quint16 v)
{
    qToLittleEndian(v, b.data() + at);
}

void put32(QByteArray &b, qsizetype at, quint32 v)
{
    qToLittleEndian(v, b.data() + at);
}

QByteArray directoryEntry(const QString &name, quint8 type, quint32 child, quint32 start,
                          quint32 size)
{
    QByteArray e(128, '\0');
    const QString n = name.left(31);
    for (qsizetype i = 0; i < n.size(); ++i)
        put16(e, i * 2, n.at(i).unicode());
    put16(e, 64, quint16((n.size() + 1) * 2));
    e[66] = char(type);
    e[67] = 1; // black
    put32(e, 68, NoStream);
    put32(e, 72, NoStream);
    put32(e, 76, child);
    put32(e, 116, start);
    put32(e, 120, size);
    return e;
}

} // namespace

QByteArray compoundFile(const QString &streamName, const QByteArray &stream)
{
    QByteArray data = stream;
    if (data.size() < 4096)
        data.append(QByteArray(4096 - data.size(), '\0'));
    const quint32 streamSize = quint32(data.size());
    if (data.size() % SectorSize)
        data.append(QByteArray(SectorSize - data.size() % SectorSize, '\0'));
    const quint32 streamSectors = quint32(data.size() / SectorSize);
    const quint32 dirSectors = 1;

    // FAT and DIFAT sectors hold entries for themselves too: grow until everything fits
    quint32 fatSectors = 1, difatSectors = 0;
    while (true) {
        const quint32 total = streamSectors + dirSectors + fatSectors + difatSectors;
        const quint32 needFat = (total + EntriesPerSector - 1) / EntriesPerSector;
        const quint32 needDifat =
            needFat > HeaderDifat
                ? (needFat - HeaderDifat + EntriesPerSector - 2) / (EntriesPerSector - 1)
                : 0;
        if (needFat == fatSectors && needDifat == difatSectors)
            break;
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    const quint32 dirStart = streamSectors;
    const quint32 fatStart = dirStart + dirSectors;
    const quint32 difatStart = fatStart + fatSectors;
    const quint32 totalSectors = difatStart + difatSectors;

    std::vector<quint32> fat(size_t(fatSectors) * EntriesPerSector, FreeSect);
    for (quint32 s = 0; s < streamSectors; ++s)
        fat[s] = s + 1 < streamSectors ? s + 1 : EndOfChain;
    fat[dirStart] = EndOfChain;
    for (quint32 s = 0; s < fatSectors; ++s)
        fat[fatStart + s] = FatSect;
    for (quint32 s = 0; s < difatSectors; ++s)
        fat[difatStart + s] = DifSect;

    QByteArray header(SectorSize, '\0');
    const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(signature, signature + 8, header.data());
    put16(header, 24, 0x003E);
    put16(header, 26, 0x0003);
    put16(header, 28, 0xFFFE);
    put16(header, 30, 9);
    put16(header, 32, 6);
    put32(header, 44, fatSectors);
    put32(header, 48, dirStart);
    put32(header, 56, 4096);
    put32(header, 60, EndOfChain);
    put32(header, 64, 0);
    put32(header, 68, difatSectors ? difatStart : EndOfChain);
    put32(header, 72, difatSectors);
    for (int i = 0; i < HeaderDifat; ++i)
        put32(header, 76 + i * 4, quint32(i) < fatSectors ? fatStart + quint32(i) : FreeSect);

    QByteArray directory;
    directory += directoryEntry(QStringLiteral("Root Entry"), 5, 1, EndOfChain, 0);
    directory += directoryEntry(streamName, 2, NoStream, 0, streamSize);
    directory += directoryEntry(QString(), 0, NoStream, 0, 0);
    directory += directoryEntry(QString(), 0, NoStream, 0, 0);

    QByteArray fatBytes(qsizetype(fat.size()) * 4, '\0');
    for (size_t i = 0; i < fat.size(); ++i)
        put32(fatBytes, qsizetype(i) * 4, fat[i]);

    QByteArray difat(qsizetype(difatSectors) * SectorSize, '\0');
    for (quint32 d = 0; d < difatSectors; ++d) {
        for (int k = 0; k < EntriesPerSector - 1; ++k) {
            const quint32 fatIndex = HeaderDifat + d * (EntriesPerSector - 1) + quint32(k);
            put32(difat, qsizetype(d) * SectorSize + k * 4,
                  fatIndex < fatSectors ? fatStart + fatIndex : FreeSect);
        }
        put32(difat, qsizetype(d) * SectorSize + (EntriesPerSector - 1) * 4,
              d + 1 < difatSectors ? difatStart + d + 1 : EndOfChain);
    }

    QByteArray file;
    file.reserve(qsizetype(totalSectors + 1) * SectorSize);
    file += header;
    file += data;
    file += directory;
    file += fatBytes;
    file += difat;
    return file;
}

} // namespace tessal::cube::xls
