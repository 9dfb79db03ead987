#include "testsupport/testcontext.h"

#include "core/config.h"

namespace tessal::test {

TestContext::TestContext()
    : context(std::make_unique<AppContext>(
          dir.path(), joinPath(dir.path(), QStringLiteral("tessal.log")), clock, dialogs))
{}

QString TestContext::errorLogPath() const
{
    return context->errorLog().path();
}

} // namespace tessal::test
