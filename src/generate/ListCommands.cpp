#include "generate/ListCommands.h"

#include "generate/ResultList.h"
#include "shell/CommandHost.h"
#include "shell/Guard.h"

void removeSelectedRow(const CommandHost &host, ResultList &list, int selectedRow)
{
    if (host.busy() || list.rows() == 0 || selectedRow < 1 || selectedRow > list.rows())
        return;
    list.remove(selectedRow);
}

void clearList(CommandHost &host, ResultList &list)
{
    Guard guard(host.dialogs(), QStringLiteral("in Orvelle2021/08/31.Form1.PushButton7_Click "));
    // One step holds both the busy test and the clearing: a failed test goes on with the clearing.
    bool busy = false;
    if (guard.step(100, [&] { busy = host.busy(); }) && busy)
        return;
    guard.step(100, [&] { list.clear(); });
}
