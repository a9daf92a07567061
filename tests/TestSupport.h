#pragma once

// Test doubles shared by the test programs: dialogs that record what they
// would have shown, and a command host without a window.

#include "CommandHost.h"
#include "Dialogs.h"

#include <QCoreApplication>
#include <QList>
#include <QStringList>

#include <functional>

struct ShownMessage
{
    QString title;
    QString text;
    Dialogs::Icon icon;
};

class RecordingDialogs : public Dialogs
{
public:
    void showMessage(const QString &title, const QString &text, Icon icon) override
    {
        messages.append({title, text, icon});
        if (onMessage)
            onMessage();
    }
    QString getSaveFileName(const QString &title, const QString &filter) override
    {
        saveTitles.append(title);
        saveFilters.append(filter);
        return nextSaveFileNames.isEmpty() ? QString() : nextSaveFileNames.takeFirst();
    }

    QStringList texts() const
    {
        QStringList result;
        for (const ShownMessage &m : messages)
            result.append(m.text);
        return result;
    }

    QList<ShownMessage> messages;
    QStringList nextSaveFileNames;
    QStringList saveTitles;
    QStringList saveFilters;
    std::function<void()> onMessage; // runs while the "box" is open
};

class RecordingProgress : public ProgressIndicator
{
public:
    void setValue(double value) override
    {
        m_value = value;
        values.append(value);
    }
    double value() const override { return m_value; }
    void setText(const QString &text) override
    {
        m_text = text;
        texts.append(text);
    }
    QString text() const override { return m_text; }

    QList<double> values;
    QStringList texts;

private:
    double m_value = 0;
    QString m_text = QStringLiteral("Progress Bar");
};

// A host without a window; `Base` is CommandHost or one of its extensions.
template <typename Base = CommandHost>
class FakeHostOf : public Base
{
public:
    Dialogs &dialogs() override { return m_dialogs; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override
    {
        m_pointer = pointer;
        pointers.append(pointer);
    }
    void yield() override
    {
        ++yields;
        if (onYield)
            onYield();
    }
    ProgressIndicator &progress() override { return m_progress; }
    QString programFolder() const override { return folder; }

    RecordingDialogs m_dialogs;
    RecordingProgress m_progress;
    Pointer m_pointer = Pointer::Normal;
    QList<Pointer> pointers;
    long yields = 0;
    std::function<void()> onYield;
    QString folder = QCoreApplication::applicationDirPath();
};

using FakeHost = FakeHostOf<>;
