#include "export/SpreadsheetPlugin.h"

#include "shell/Failure.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

namespace {

// Loads `library` for the rest of the process (a QLibrary that goes does not
// unload it); a failure says which file and why.
void load(QLibrary &library, const QString &missing)
{
    if (!QFileInfo::exists(library.fileName()))
        throw Failure(missing.arg(library.fileName()));
    if (!library.load())
        throw Failure(QStringLiteral("%1 could not be loaded: %2").arg(library.fileName(), library.errorString()));
}

} // namespace

PluginSpreadsheetFactory::PluginSpreadsheetFactory(QString plugin, QStringList runtime)
    : m_plugin(std::move(plugin))
    , m_runtime(std::move(runtime))
{
}

PluginSpreadsheetFactory::~PluginSpreadsheetFactory() = default;

SpreadsheetFactory &PluginSpreadsheetFactory::loaded()
{
    if (!m_factory) {
        if (m_plugin.isEmpty())
            throw Failure(
                QStringLiteral("LibreOffice is not installed: this program was built without LibreOffice support."));
        for (const QString &file : std::as_const(m_runtime)) {
            QLibrary library(file);
            load(library, QStringLiteral("LibreOffice is not installed: %1 is missing."));
        }
        QLibrary plugin(m_plugin);
        load(plugin, QStringLiteral("The spreadsheet export is not installed: %1 is missing."));
        using Entry = decltype(&orvelleSpreadsheetFactory);
        const auto entry = reinterpret_cast<Entry>(plugin.resolve("orvelleSpreadsheetFactory"));
        if (!entry)
            throw Failure(QStringLiteral("%1 is not a spreadsheet plugin: %2").arg(m_plugin, plugin.errorString()));
        m_factory.reset(entry());
    }
    return *m_factory;
}

std::unique_ptr<SpreadsheetApplication> PluginSpreadsheetFactory::create()
{
    return loaded().create();
}

std::unique_ptr<SpreadsheetFactory> makeDefaultSpreadsheetFactory()
{
    // Beside the window's executable, in its private folder once installed.
    const QString plugin = QStringLiteral(ORVELLE_SPREADSHEET_PLUGIN);
    return std::make_unique<PluginSpreadsheetFactory>(
        plugin.isEmpty() ? plugin : QCoreApplication::applicationDirPath() + QLatin1Char('/') + plugin,
        QStringLiteral(ORVELLE_SPREADSHEET_RUNTIME).split(QLatin1Char(':'), Qt::SkipEmptyParts));
}
