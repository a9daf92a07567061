#pragma once

class CommandHost;
class ResultList;

// The Delete key and a double-click: removes the selected row (numbered from
// 1; 0 when none is selected). Does nothing while the hourglass shows.
void removeSelectedRow(const CommandHost &host, ResultList &list, int selectedRow);

// "Clear List": removes every row, unless the hourglass shows.
void clearList(CommandHost &host, ResultList &list);
