#include "cube/cube.h"

#include "core/error.h"
#include "cube/cubefile.h"
#include "cube/loader.h"
#include "cube/numberformat.h"
#include "cube/pivot.h"
#include "data/database.h"

#include <QCollator>
#include <QFile>
#include <QSaveFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString Source = u"Cube"_s;
constexpr size_t CacheSize = 8;
constexpr qint64 MaxDownloadBytes = qint64(1) << 30;

QString defaultName(const QString &source, Orientation orientation, Aggregate aggregate)
{
    if (orientation != Orientation::Data)
        return source;
    return (aggregate == Aggregate::Count ? u"count"_s : u"sum"_s) + source;
}

} // namespace

// ---------------------------------------------------------------- CubeField

void CubeField::changed()
{
    m_cube->fieldChanged();
}

void CubeField::setCaption(const QString &caption)
{
    m_def.caption = caption;
    changed();
}

void CubeField::setName(const QString &name)
{
    m_def.name = name;
    changed();
}

void CubeField::setOrientation(Orientation orientation)
{
    if (orientation == m_def.orientation)
        return;
    const Orientation old = m_def.orientation;
    m_def.orientation = orientation;
    m_def.position = m_cube->collection(orientation).count() + 1;
    m_cube->renumber(old, nullptr);
    m_cube->renumber(orientation, nullptr);
    changed();
}

void CubeField::setPosition(int position)
{
    m_def.position = std::max(0, position);
    m_cube->renumber(m_def.orientation, this);
    changed();
}

void CubeField::setVisible(bool visible)
{
    m_def.visible = visible;
    changed();
}

void CubeField::setExpanded(bool expanded)
{
    m_def.expanded = expanded;
    changed();
}

void CubeField::setGroupFooter(int footer)
{
    m_def.groupFooter = footer;
    changed();
}

void CubeField::setNumberFormat(const QString &format)
{
    m_def.numberFormat = format;
    changed();
}

void CubeField::setAggregate(Aggregate aggregate)
{
    m_def.aggregate = aggregate;
    changed();
}

void CubeField::setCalculated(bool calculated)
{
    m_def.calculated = calculated;
    changed();
}

void CubeField::setHeadingWidth(int width)
{
    m_def.headingWidth = width;
    changed();
}

void CubeField::setTotalCaption(const QString &caption)
{
    m_def.totalCaption = caption;
    changed();
}

void CubeField::setRankingMode(RankingMode mode)
{
    m_def.rankingMode = mode;
    changed();
}

void CubeField::setRankingDataField(int number)
{
    m_def.rankingDataField = number;
    changed();
}

void CubeField::setAscending(int ascending)
{
    m_def.ascending = ascending;
    changed();
}

ValueKind CubeField::valueKind() const
{
    return m_cube->dimension(m_index)->dictionary.kind();
}

int CubeField::itemCount() const
{
    return static_cast<int>(m_cube->dimension(m_index)->dictionary.size());
}

QString CubeField::itemName(int item) const
{
    const Dictionary &d = m_cube->dimension(m_index)->dictionary;
    return item >= 0 && quint32(item) < d.size() ? d.name(quint32(item)) : QString();
}

QString CubeField::itemCaption(int item) const
{
    const Dictionary &d = m_cube->dimension(m_index)->dictionary;
    if (item < 0 || quint32(item) >= d.size())
        return {};
    if (!m_def.itemStates.isEmpty()) {
        auto it = m_def.itemStates.constFind(d.name(quint32(item)));
        if (it != m_def.itemStates.cend() && !it->caption.isEmpty())
            return it->caption;
    }
    return d.caption(quint32(item));
}

void CubeField::setItemCaption(int item, const QString &caption)
{
    const QString key = itemName(item);
    if (item < 0 || item >= itemCount())
        return;
    ItemState &s = m_def.itemStates[key];
    s.caption = caption == m_cube->dimension(m_index)->dictionary.caption(quint32(item)) ? QString()
                                                                                         : caption;
    if (s == ItemState{})
        m_def.itemStates.remove(key);
    changed();
}

bool CubeField::isItemIncluded(int item) const
{
    return m_def.itemStates.value(itemName(item)).included;
}

void CubeField::setItemIncluded(int item, bool included)
{
    if (item < 0 || item >= itemCount())
        return;
    const QString key = itemName(item);
    ItemState &s = m_def.itemStates[key];
    s.included = included;
    if (s == ItemState{})
        m_def.itemStates.remove(key);
    changed();
}

int CubeField::itemIndex(const QString &name) const
{
    const auto code = m_cube->dimension(m_index)->dictionary.find(name);
    return code ? static_cast<int>(*code) : -1;
}

// ---------------------------------------------------------------- FieldCollection

CubeField *FieldCollection::item(int index) const
{
    return index >= 0 && index < count() ? m_fields[size_t(index)] : nullptr;
}

CubeField *FieldCollection::item(const QString &name) const
{
    for (CubeField *f : m_fields)
        if (f->name().compare(name, Qt::CaseInsensitive) == 0)
            return f;
    return nullptr;
}

// ---------------------------------------------------------------- Cube

struct Cube::View
{
    std::shared_ptr<Aggregation> aggregation;
    std::vector<int> rowFields;
    std::vector<int> columnFields;
    std::vector<int> dataFields;  // all, by position
    std::vector<int> visibleData; // positions of the visible ones
    std::vector<AxisEntry> rows;
    std::vector<AxisEntry> columns;
    int perColumn = 1;
    bool several = false;
};

struct Cube::CacheEntry
{
    std::vector<int> rows;
    std::vector<int> columns;
    std::vector<std::pair<int, std::vector<quint8>>> filters;
    std::vector<std::pair<int, int>> data;
    quint64 version = 0;
    std::shared_ptr<Aggregation> aggregation;
    bool sameKey(const CacheEntry &o) const
    {
        return rows == o.rows && columns == o.columns && filters == o.filters && data == o.data &&
               version == o.version;
    }
};

Cube::Cube(QObject *parent)
    : QObject(parent)
    , m_opener([](const QString &path) { return tessal::data::openDatabaseReadOnly(path); })
{}

Cube::~Cube() = default;

void Cube::fieldChanged()
{
    m_view.reset();
}

CubeDefinition Cube::definition() const
{
    CubeDefinition d;
    d.properties = m_properties;
    for (const auto &f : m_fields)
        d.fields.push_back(f->m_def);
    return d;
}

void Cube::setDefinition(const CubeDefinition &definition)
{
    bool sameSources = m_hasData &&
                       definition.properties.recordSource == m_properties.recordSource &&
                       definition.fields.size() == m_fields.size();
    for (size_t i = 0; sameSources && i < m_fields.size(); ++i)
        sameSources = definition.fields[i].sourceExpression == m_fields[i]->sourceExpression();
    m_properties = definition.properties;
    m_fields.clear();
    for (const FieldDefinition &f : definition.fields)
        m_fields.emplace_back(new CubeField(this, static_cast<int>(m_fields.size()), f));
    if (!sameSources)
        resetFieldData();
    m_view.reset();
}

void Cube::resetFieldData()
{
    m_data = CubeData();
    m_data.fields.resize(m_fields.size());
    m_hasData = false;
    ++m_dataVersion;
    m_cache.clear();
    m_view.reset();
}

FieldCollection Cube::fields() const
{
    FieldCollection c;
    for (const auto &f : m_fields)
        c.m_fields.push_back(f.get());
    return c;
}

FieldCollection Cube::collection(Orientation orientation) const
{
    FieldCollection c;
    for (const auto &f : m_fields)
        if (f->orientation() == orientation)
            c.m_fields.push_back(f.get());
    std::stable_sort(
        c.m_fields.begin(), c.m_fields.end(),
        [](const CubeField *a, const CubeField *b) { return a->position() < b->position(); });
    return c;
}

void Cube::renumber(Orientation orientation, const CubeField *moved)
{
    std::vector<CubeField *> list;
    for (const auto &f : m_fields)
        if (f->orientation() == orientation)
            list.push_back(f.get());
    // the moved field goes before the field it now shares a position with
    std::stable_sort(list.begin(), list.end(), [moved](const CubeField *a, const CubeField *b) {
        if (a->position() != b->position())
            return a->position() < b->position();
        return a == moved && b != moved;
    });
    for (size_t i = 0; i < list.size(); ++i)
        list[i]->m_def.position = static_cast<int>(i);
}

CubeField *Cube::addField(const QString &sourceExpression, const QString &caption,
                          Orientation orientation)
{
    FieldDefinition def;
    def.sourceExpression = sourceExpression;
    def.caption = caption;
    def.orientation = orientation;
    def.name = defaultName(sourceExpression, orientation, def.aggregate);
    def.position = collection(orientation).count();
    m_fields.emplace_back(new CubeField(this, static_cast<int>(m_fields.size()), def));
    m_data.fields.resize(m_fields.size());
    m_view.reset();
    return m_fields.back().get();
}

void Cube::clearFields()
{
    m_fields.clear();
    resetFieldData();
}

void Cube::setData(CubeData data)
{
    m_data = std::move(data);
    m_data.fields.resize(m_fields.size());
    m_hasData = true;
    ++m_dataVersion;
    m_cache.clear();
    m_view.reset();
}

void Cube::load(const QSqlDatabase &db)
{
    setData(loadFromDatabase(db, definition().fields, m_properties));
    emit refreshed();
}

void Cube::loadRows(const RowTable &table)
{
    auto reader = makeTableReader(table);
    setData(cube::loadRows(*reader, definition().fields, m_properties));
    emit refreshed();
}

void Cube::setDatabaseOpener(std::function<QSqlDatabase(const QString &)> opener)
{
    m_opener = std::move(opener);
}

void Cube::refresh()
{
    if (!m_hasData && m_opener && !m_properties.databaseName.isEmpty()) {
        load(m_opener(m_properties.databaseName));
        return;
    }
    m_view.reset();
    emit refreshed();
}

void Cube::reload()
{
    if (!m_opener)
        throw Error(ErrorNumber::DatabaseError, u"O cubo não tem como abrir a base de dados."_s,
                    Source);
    load(m_opener(m_properties.databaseName));
}

void Cube::dropCachedResults()
{
    m_cache.clear();
    m_view.reset();
}

std::shared_ptr<const DimensionColumn> Cube::dimension(int field) const
{
    if (m_data.fields.size() < m_fields.size())
        m_data.fields.resize(m_fields.size());
    FieldData &fd = m_data.fields[size_t(field)];
    if (!fd.dimension) {
        if (fd.measure) {
            fd.dimension = std::make_shared<DimensionColumn>(dimensionFromMeasure(*fd.measure));
        } else {
            // a field the rows were not loaded for: every row holds the empty item
            auto empty = std::make_shared<DimensionColumn>();
            empty->dictionary = Dictionary::makeTexts(TextPool(), true);
            empty->codes.assign(m_data.rowCount, 0);
            fd.dimension = std::move(empty);
        }
    }
    return fd.dimension;
}

std::shared_ptr<const MeasureColumn> Cube::measure(int field) const
{
    if (m_data.fields.size() < m_fields.size())
        m_data.fields.resize(m_fields.size());
    FieldData &fd = m_data.fields[size_t(field)];
    if (!fd.measure) {
        if (fd.dimension) {
            fd.measure = std::make_shared<MeasureColumn>(measureFromDimension(*fd.dimension));
        } else {
            auto zeros = std::make_shared<MeasureColumn>();
            zeros->cents.assign(m_data.rowCount, 0);
            fd.measure = std::move(zeros);
        }
    }
    return fd.measure;
}

const Cube::View &Cube::view() const
{
    if (m_view)
        return *m_view;
    auto v = std::make_unique<View>();
    auto indices = [](const FieldCollection &c) {
        std::vector<int> out;
        for (const CubeField *f : c)
            out.push_back(f->index());
        return out;
    };
    v->rowFields = indices(rowFields());
    v->columnFields = indices(columnFields());
    v->dataFields = indices(dataFields());
    for (size_t k = 0; k < v->dataFields.size(); ++k)
        if (m_fields[size_t(v->dataFields[k])]->isVisible())
            v->visibleData.push_back(static_cast<int>(k));
    v->perColumn = std::max<int>(1, static_cast<int>(v->visibleData.size()));
    v->several = v->visibleData.size() > 1;

    auto key = std::make_shared<CacheEntry>();
    key->rows = v->rowFields;
    key->columns = v->columnFields;
    key->version = m_dataVersion;
    for (const auto &f : m_fields) {
        const Orientation o = f->orientation();
        if (o == Orientation::None || o == Orientation::Data)
            continue;
        bool excludes = false;
        for (const ItemState &s : f->m_def.itemStates)
            excludes |= !s.included;
        if (!excludes)
            continue;
        const Dictionary &dict = dimension(f->index())->dictionary;
        std::vector<quint8> included(dict.size(), 1);
        for (auto it = f->m_def.itemStates.cbegin(); it != f->m_def.itemStates.cend(); ++it)
            if (!it->included)
                if (const auto code = dict.find(it.key()))
                    included[*code] = 0;
        key->filters.emplace_back(f->index(), std::move(included));
    }
    for (int d : v->dataFields)
        key->data.emplace_back(d, static_cast<int>(m_fields[size_t(d)]->aggregate()));

    for (size_t i = 0; i < m_cache.size(); ++i) {
        if (m_cache[i]->sameKey(*key)) {
            v->aggregation = m_cache[i]->aggregation;
            std::rotate(m_cache.begin(), m_cache.begin() + qsizetype(i),
                        m_cache.begin() + qsizetype(i) + 1);
            break;
        }
    }
    if (!v->aggregation) {
        AggregationInput in;
        in.rowCount = m_data.rowCount;
        // the columns stay alive in m_data for as long as the data version the key names
        for (int f : v->rowFields)
            in.rowFields.push_back(dimension(f).get());
        for (int f : v->columnFields)
            in.columnFields.push_back(dimension(f).get());
        for (const auto &[f, included] : key->filters)
            in.filters.emplace_back(dimension(f).get(), included);
        for (int d : v->dataFields) {
            DataInput di;
            di.count = m_fields[size_t(d)]->aggregate() == Aggregate::Count;
            if (!di.count)
                di.measure = measure(d).get();
            in.dataFields.push_back(di);
        }
        key->aggregation = std::make_shared<Aggregation>(in);
        v->aggregation = key->aggregation;
        m_cache.insert(m_cache.begin(), key);
        if (m_cache.size() > CacheSize)
            m_cache.pop_back();
    }

    auto levelSettings = [&](const std::vector<int> &axisFields) {
        std::vector<LevelSettings> levels;
        for (int fi : axisFields) {
            const CubeField &f = *m_fields[size_t(fi)];
            LevelSettings s;
            s.footer = f.groupFooter() != 0;
            s.ranking = f.rankingMode();
            // the number comes from a file as any 32-bit value; only 1.. names a data field
            s.rankingData = f.rankingDataField() > 0 ? f.rankingDataField() - 1 : -1;
            if (s.ranking == RankingMode::None && f.ascending() == 1) {
                const int n = f.itemCount();
                std::vector<QString> captions(static_cast<size_t>(n));
                for (int i = 0; i < n; ++i)
                    captions[size_t(i)] = f.itemCaption(i);
                QCollator collator;
                collator.setNumericMode(true);
                collator.setCaseSensitivity(Qt::CaseInsensitive);
                std::vector<quint32> order(static_cast<size_t>(n));
                std::iota(order.begin(), order.end(), 0u);
                std::stable_sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
                    return collator.compare(captions[a], captions[b]) < 0;
                });
                s.captionRank.resize(size_t(n));
                for (size_t r = 0; r < order.size(); ++r)
                    s.captionRank[order[r]] = static_cast<quint32>(r);
            }
            levels.push_back(std::move(s));
        }
        return levels;
    };
    auto shown = [&](const std::vector<int> &axisFields) {
        for (size_t i = 0; i < axisFields.size(); ++i)
            if (!m_fields[size_t(axisFields[i])]->isExpanded())
                return static_cast<int>(i) + 1;
        return static_cast<int>(axisFields.size());
    };
    v->rows = layoutAxis(*v->aggregation, true, shown(v->rowFields), levelSettings(v->rowFields));
    v->columns =
        layoutAxis(*v->aggregation, false, shown(v->columnFields), levelSettings(v->columnFields));
    m_view = std::move(v);
    return *m_view;
}

int Cube::rowCount() const
{
    return static_cast<int>(view().rows.size());
}

int Cube::columnCount() const
{
    const View &v = view();
    return static_cast<int>(v.columns.size()) * v.perColumn;
}

int Cube::rowHeadingLevels() const
{
    return static_cast<int>(view().rowFields.size());
}

int Cube::columnHeadingLevels() const
{
    const View &v = view();
    return static_cast<int>(v.columnFields.size()) + (v.several ? 1 : 0);
}

int Cube::rowDepth(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    const AxisEntry &e = view().rows[size_t(row)];
    return e.total ? e.prefix + 1 : e.prefix;
}

int Cube::columnDepth(int column) const
{
    if (column < 0 || column >= columnCount())
        return 0;
    const View &v = view();
    const AxisEntry &e = v.columns[size_t(column / v.perColumn)];
    return (e.total ? e.prefix + 1 : e.prefix) + (v.several ? 1 : 0);
}

int Cube::nextRow(int row) const
{
    return row + 1 < rowCount() ? row + 1 : -1;
}

int Cube::nextColumn(int column) const
{
    return column + 1 < columnCount() ? column + 1 : -1;
}

Heading Cube::heading(bool rowAxis, int level, const AxisEntry &entry) const
{
    const View &v = view();
    const std::vector<int> &axisFields = rowAxis ? v.rowFields : v.columnFields;
    const AxisGroups &axis = rowAxis ? v.aggregation->rows() : v.aggregation->columns();
    Heading h;
    if (level < 1 || level > static_cast<int>(axisFields.size()))
        return h;
    const int itemLevels = entry.prefix; // levels that show an item
    if (level <= itemLevels) {
        const CubeField &f = *m_fields[size_t(axisFields[size_t(level) - 1])];
        h.kind = Heading::Kind::Item;
        h.field = f.index();
        h.item = static_cast<int>(itemCodeAt(axis, entry.prefix, entry.group, level - 1));
        h.text = f.itemCaption(h.item);
    } else if (entry.total && level == entry.prefix + 1) {
        const CubeField &f = *m_fields[size_t(axisFields[size_t(level) - 1])];
        h.kind = Heading::Kind::Total;
        h.field = f.index();
        h.text = f.totalCaption();
    }
    return h;
}

Heading Cube::rowHeading(int level, int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    return heading(true, level, view().rows[size_t(row)]);
}

Heading Cube::columnHeading(int level, int column) const
{
    if (column < 0 || column >= columnCount())
        return {};
    const View &v = view();
    const int K = static_cast<int>(v.columnFields.size());
    if (v.several && level == K + 1) {
        const int position = v.visibleData[size_t(column % v.perColumn)];
        Heading h;
        h.kind = Heading::Kind::DataItem;
        h.field = position;
        h.text = m_fields[size_t(v.dataFields[size_t(position)])]->caption();
        return h;
    }
    return heading(false, level, v.columns[size_t(column / v.perColumn)]);
}

bool Cube::isTotalRow(int row) const
{
    return row >= 0 && row < rowCount() && view().rows[size_t(row)].total;
}

bool Cube::isTotalColumn(int column) const
{
    if (column < 0 || column >= columnCount())
        return false;
    const View &v = view();
    return v.columns[size_t(column / v.perColumn)].total;
}

int Cube::dataFieldAt(int column) const
{
    if (column < 0 || column >= columnCount())
        return -1;
    const View &v = view();
    return v.visibleData.empty() ? -1 : v.visibleData[size_t(column % v.perColumn)];
}

bool Cube::severalDataFieldsShown() const
{
    return view().several;
}

QVariant Cube::cellValue(int column, int row) const
{
    const int position = dataFieldAt(column);
    if (position < 0 || row < 0 || row >= rowCount())
        return {};
    const View &v = view();
    const AxisEntry &re = v.rows[size_t(row)];
    const AxisEntry &ce = v.columns[size_t(column / v.perColumn)];
    const CellTable &t = v.aggregation->table(re.prefix, ce.prefix);
    const qint64 id = t.find(re.group, ce.group);
    if (id < 0)
        return {};
    return t.value(size_t(id), size_t(position));
}

QString Cube::formattedValue(int column, int row) const
{
    const QVariant value = cellValue(column, row);
    if (!value.isValid())
        return {};
    const CubeField *f = dataFields().item(dataFieldAt(column));
    return formatNumber(value.toDouble(), f ? f->numberFormat() : QString());
}

CellFormat Cube::cellFormat(int column, int row) const
{
    CellFormat format;
    const QVariant value = cellValue(column, row);
    if (!value.isValid())
        return format;
    format.value = value.toDouble();
    const int number = dataFieldAt(column) + 1;
    format.dataField = (isTotalRow(row) || isTotalColumn(column)) ? -number : number;
    if (m_formatHandler)
        m_formatHandler(format);
    return format;
}

void Cube::setCellFormatHandler(std::function<void(CellFormat &)> handler)
{
    m_formatHandler = std::move(handler);
}

// ---------------------------------------------------------------- files

QByteArray Cube::saveToBytes(int saveKind) const
{
    const bool withData = (saveKind & 1) == 0 && m_hasData;
    if (withData) {
        for (const auto &f : m_fields) {
            if (f->orientation() == Orientation::Data)
                measure(f->index());
            else
                dimension(f->index());
        }
    }
    return writeCubeFile(definition(), withData ? &m_data : nullptr, saveKind, m_password);
}

bool Cube::saveToFile(const QString &path, int saveKind) const
{
    if (saveKind < 0 || saveKind > 3)
        return false;
    const QByteArray bytes = saveToBytes(saveKind);
    // written beside the target and renamed into place: a full disk or a failed write leaves the
    // file that was there as it was
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool Cube::loadFromFile(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.exists())
        throw Error(CubeError::FileNotFound, u"Arquivo não encontrado: "_s + path, Source);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(CubeError::FileNotFound, file.errorString(), Source);
    if (file.size() > MaxCubeBodyBytes)
        throw Error(CubeError::BadFile, u"Arquivo de cubo grande demais."_s, Source);
    loadFromBytes(file.readAll());
    return true;
}

void Cube::loadFromBytes(const QByteArray &bytes)
{
    CubeFileContents contents = readCubeFile(bytes, m_password);
    // A file names a database, but the cube never follows it: a file from elsewhere could point
    // it at any database on the machine. Its rows come from the database the cube was set to.
    contents.definition.properties.databaseName = m_properties.databaseName;
    // The rows of a layout-only file are read before anything of the cube changes, so a refused
    // record source (or a database that cannot be opened) leaves the cube as it was.
    if (!contents.hasData && m_opener && !m_properties.databaseName.isEmpty()) {
        contents.data =
            loadFromDatabase(m_opener(m_properties.databaseName), contents.definition.fields,
                             contents.definition.properties);
        contents.hasData = true;
    }
    m_properties = contents.definition.properties;
    m_fields.clear();
    for (const FieldDefinition &f : contents.definition.fields)
        m_fields.emplace_back(new CubeField(this, static_cast<int>(m_fields.size()), f));
    if (contents.hasData)
        setData(std::move(contents.data));
    else
        resetFieldData();
    emit refreshed();
}

void Cube::setLoadFromAddress(const QString &address)
{
    m_address = address;
    if (address.isEmpty())
        return;
    const QUrl url(address);
    if (!url.isValid() || (url.scheme() != u"http"_s && url.scheme() != u"https"_s)) {
        emit addressLoaded(false, CubeError::FetchFailed, u"Endereço inválido: "_s + address);
        return;
    }
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(30000);
    cancelLoadFromAddress(); // one fetch at a time: a newer address replaces an older one
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;
    // a server that announces or sends more than a cube file can hold is cut off
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply](qint64 received, qint64 total) {
                if (received > MaxDownloadBytes || total > MaxDownloadBytes) {
                    reply->abort();
                    return;
                }
                emit addressProgress(received, std::max<qint64>(total, 0));
            });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (m_reply == reply)
            m_reply = nullptr;
        if (reply->error() != QNetworkReply::NoError) {
            emit addressLoaded(false, CubeError::FetchFailed, reply->errorString());
            return;
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 200) {
            emit addressLoaded(false, CubeError::FetchFailed, u"HTTP "_s + QString::number(status));
            return;
        }
        try {
            loadFromBytes(reply->readAll());
        } catch (const Error &e) {
            emit addressLoaded(false, e.number(), e.description());
            return;
        }
        emit addressLoaded(true, 0, QString());
    });
}

void Cube::cancelLoadFromAddress()
{
    if (QNetworkReply *reply = m_reply.data())
        reply->abort();
}

} // namespace tessal::cube
