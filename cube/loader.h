#pragma once

#include "cube/columnstore.h"
#include "cube/cubetypes.h"
#include "cube/rowsource.h"

#include <QDate>
#include <optional>

namespace tessal::cube {

enum class DatePart { None, Year, Quarter, Month, Week };

// Where a field's values come from: a column of the record source, possibly through one of the
// cube's date-part templates (computed here per distinct date instead of per row in SQL).
struct SourceBinding
{
    int column = -1;
    DatePart part = DatePart::None;
};

// Year, quarter 1-4, month 1-12, or week of the year with weeks starting on Sunday and week 1
// holding 1 January; the same rules as the database's datepart function.
int datePart(DatePart part, const QDate &date);

std::optional<SourceBinding> bindSource(const QString &expression, const QStringList &columns,
                                        const CubeProperties &properties);

// The record source with `expressions` added in front of its select list, named
// "_cube_0", "_cube_1", ...: how expressions that are not plain columns reach the database.
QString withExtraColumns(const QString &recordSource, const QStringList &expressions);
QString extraColumnName(int index);

// Reads every row and keeps what the fields need. Throws tessal::Error when a field's source
// cannot be found among the columns.
CubeData loadRows(RowReader &reader, const std::vector<FieldDefinition> &fields,
                  const CubeProperties &properties);

// Runs the record source on `db`; expressions that are no column of it are asked of the database.
CubeData loadFromDatabase(const QSqlDatabase &db, const std::vector<FieldDefinition> &fields,
                          const CubeProperties &properties);

} // namespace tessal::cube
