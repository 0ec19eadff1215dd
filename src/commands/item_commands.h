#pragma once

#include "commands/command_context.h"

namespace commands {

void AddOneItem(const Window& window, const QString& location, controls::ListView& list);
void ClearList1(const Window& window, const QString& location);
void ClearList2(const Window& window, const QString& location);
void LoadSampleItems1(const Window& window, const QString& location);
void LoadSampleItems2(const Window& window, const QString& location);

}  // namespace commands
