// Build step: writes the manual page, its field and format paragraphs taken
// from the command line's own tables. Usage: orvelle-manual IN OUT
#include "cli/ManualTables.h"

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: orvelle-manual IN OUT\n");
        return 2;
    }
    QFile in(QFile::decodeName(argv[1]));
    QFile out(QFile::decodeName(argv[2]));
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "orvelle-manual: cannot read %s or write %s\n", argv[1], argv[2]);
        return 1;
    }
    const QByteArray page = withManualTables(in.readAll());
    return out.write(page) == page.size() && out.flush() ? 0 : 1;
}
