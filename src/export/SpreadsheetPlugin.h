#pragma once

#include "export/Spreadsheet.h"

#include <QString>
#include <QStringList>

#include <memory>

// The spreadsheet application reached through a plugin library loaded on the
// first create(), so that the program starts, and runs every other command,
// where the application's own libraries are missing.
//
// `runtime` names libraries loaded first, in order, each by its absolute path:
// the application's runtime, whose libraries find their private companions
// beside themselves only when loaded from their own folder. The plugin then
// finds them loaded already, with no library path of its own. `plugin` is the
// plugin's absolute path; its entry point orvelleSpreadsheetFactory() makes
// the factory that serves every create() of this one, kept while this lives.
// Nothing loaded is ever unloaded.
class PluginSpreadsheetFactory : public SpreadsheetFactory
{
public:
    PluginSpreadsheetFactory(QString plugin, QStringList runtime);
    ~PluginSpreadsheetFactory() override;

    PluginSpreadsheetFactory(const PluginSpreadsheetFactory &) = delete;
    PluginSpreadsheetFactory &operator=(const PluginSpreadsheetFactory &) = delete;

    // Throws a Failure naming what is missing when the runtime or the plugin
    // cannot be loaded; the next call tries again.
    std::unique_ptr<SpreadsheetApplication> create() override;
    bool windowReadable() const override { return !m_factory || m_factory->windowReadable(); }

private:
    SpreadsheetFactory &loaded();

    QString m_plugin;
    QStringList m_runtime;
    std::unique_ptr<SpreadsheetFactory> m_factory;
};

// The plugin's entry point: a new factory, owned by the caller.
extern "C" SpreadsheetFactory *orvelleSpreadsheetFactory();
