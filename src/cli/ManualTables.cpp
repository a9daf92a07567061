#include "cli/ManualTables.h"

#include "cli/PlaceWriter.h"

QByteArray withManualTables(const QByteArray &page)
{
    QByteArray fields;
    for (const FieldInfo &field : fieldInfo)
        fields += QByteArray(".TP\n.B ") + field.name + '\n' + field.manual + '\n';
    QByteArray formats;
    for (const FormatInfo &format : formatInfo)
        formats += QByteArray(".TP\n.B ") + format.name + '\n' + format.manual + '\n';
    QByteArray result = page;
    return result.replace("%FIELDS%\n", fields).replace("%FORMATS%\n", formats);
}
