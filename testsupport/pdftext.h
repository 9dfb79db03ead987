#pragma once

#include <QString>
#include <QStringList>

namespace tessal::test {

// The text of a PDF as pdftotext lays it out, one entry per page. pdftotext (poppler-utils) is
// installed by scripts/install-deps.sh: without it the test fails rather than skipping.
QStringList pdfPages(const QString &pdfPath);

} // namespace tessal::test
