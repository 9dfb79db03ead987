// libFuzzer target for the cube-file reader: any bytes must end in a loaded cube or a
// tessal::Error, never a crash, a sanitizer report or a hang. A loaded cube's grid is walked too,
// since a file that passes the reader feeds the whole engine.

#include "core/error.h"
#include "cube/cube.h"

#include <QByteArray>
#include <QtEndian>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <zlib.h>

using namespace tessal::cube;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Unprotected files end in a CRC-32 that a mutation almost always breaks; put it right on
    // odd-sized inputs, so the fuzzer reaches the parser behind it as well as the check itself.
    if ((size & 1) && size >= 16 && bytes.startsWith("TESSALCB") && bytes[11] == 0) {
        const auto crc = static_cast<quint32>(
            crc32(0, reinterpret_cast<const Bytef *>(bytes.constData()), uInt(size - 4)));
        qToLittleEndian(crc, bytes.data() + size - 4);
    }
    Cube cube;
    cube.setDatabaseOpener({}); // layout-only files must not reach for a database
    try {
        cube.loadFromBytes(bytes);
        const int rows = std::min(cube.rowCount(), 40);
        const int columns = std::min(cube.columnCount(), 40);
        for (int r = 0; r < rows; ++r) {
            for (int l = 1; l <= cube.rowHeadingLevels(); ++l)
                (void)cube.rowHeadingText(l, r);
            for (int c = 0; c < columns; ++c)
                (void)cube.formattedValue(c, r);
        }
        for (int c = 0; c < columns; ++c)
            for (int l = 1; l <= cube.columnHeadingLevels(); ++l)
                (void)cube.columnHeading(l, c);
        (void)cube.saveToBytes(0);
    } catch (const tessal::Error &) {
    }
    return 0;
}
