#include "testsupport/scratchdata.h"

#include "core/error.h"
#include "data/database.h"

namespace tessal::test {

using namespace Qt::StringLiterals;

bool testsOnServer()
{
    return qEnvironmentVariable("TESSAL_TEST_ENGINE")
               .compare(u"postgresql"_s, Qt::CaseInsensitive) == 0;
}

QString testEngineName()
{
    return testsOnServer() ? u"PostgreSQL"_s : u"SQLite"_s;
}

ScratchDataSource::ScratchDataSource()
{
    QString where;
    if (testsOnServer()) {
        if (!testServer()) {
            m_skipped = true;
            m_error = noServerReason();
            return;
        }
        m_server = std::make_unique<ScratchServerDatabase>();
        if (!m_server->isValid()) {
            m_error = m_server->error();
            return;
        }
        where = m_server->address().uri();
    } else {
        m_dir.emplace();
        if (!m_dir->isValid()) {
            m_error = m_dir->errorString();
            return;
        }
        where = m_dir->filePath(u"dados"_s);
    }
    try {
        data::ensureDataDirectory(where);
        m_dataDirectory = where;
    } catch (const Error &e) {
        m_error = e.info().description;
    }
}

ScratchDataSource::~ScratchDataSource()
{
    if (m_dataDirectory.isEmpty())
        return;
    data::closeDatabase(cashPath());
    data::closeDatabase(menuPath());
}

QString ScratchDataSource::cashPath() const
{
    return data::cashDatabasePath(m_dataDirectory);
}

QString ScratchDataSource::menuPath() const
{
    return data::menuDatabasePath(m_dataDirectory);
}

} // namespace tessal::test
