#include "export/SpreadsheetPlugin.h"

#include "shell/Failure.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

namespace {

// Loads `file` for good; a failure says which file and why.
QLibrary &load(const QString &file, const QString &missing)
{
    if (!QFileInfo::exists(file))
        throw Failure(missing.arg(file));
    auto *library = new QLibrary(file); // never unloaded: the process keeps its code
    if (!library->load()) {
        const QString error = library->errorString();
        delete library;
        throw Failure(QStringLiteral("%1 could not be loaded: %2").arg(file, error));
    }
    return *library;
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
            throw Failure(QStringLiteral("LibreOffice is not installed: this program was built without LibreOffice support."));
        for (const QString &library : std::as_const(m_runtime))
            load(library, QStringLiteral("LibreOffice is not installed: %1 is missing."));
        QLibrary &plugin = load(m_plugin, QStringLiteral("The spreadsheet export is not installed: %1 is missing."));
        const auto entry = reinterpret_cast<decltype(&orvelleSpreadsheetFactory)>(plugin.resolve("orvelleSpreadsheetFactory"));
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
