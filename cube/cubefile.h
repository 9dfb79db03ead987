#pragma once

#include "cube/columnstore.h"
#include "cube/cubetypes.h"

#include <QByteArray>

namespace tessal::cube {

namespace SaveKind {
inline constexpr int LayoutAndData = 0;
inline constexpr int LayoutOnly = 1;
inline constexpr int Compressed = 2;
} // namespace SaveKind

struct CubeFileContents
{
    CubeDefinition definition;
    bool hasData = false;
    CubeData data;
};

// Our own cube file: a header (magic, version, save kind, protection) and a body with the layout
// and, for kinds 0 and 2, the rows' columns. Kinds 2 and 3 deflate the body; a password encrypts
// it with a key derived by Argon2id and authenticates header and body together.
// `data` may be null (or is ignored) for layout-only kinds. Throws tessal::Error.
QByteArray writeCubeFile(const CubeDefinition &definition, const CubeData *data, int saveKind,
                         const QString &password);

// Throws tessal::Error: 1021 for a protected file without the right password, 1024 for a file
// that is truncated, damaged, from a newer version or no cube file at all.
CubeFileContents readCubeFile(const QByteArray &bytes, const QString &password);

// Upper bound on what a file may make us allocate, so a damaged length cannot exhaust memory.
inline constexpr qint64 MaxCubeBodyBytes = qint64(1) << 30;

} // namespace tessal::cube
