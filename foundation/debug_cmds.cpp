// Debug commands (see debug_cmds.h).
#include "foundation/debug_cmds.h"

// Plain data, set before any static constructor runs, so declarations in any file and in any
// order of static construction find the list ready.
static DBG_command* sHead = nullptr;
static int sActivated = 0;
static int32_t sNextSerial = 1;

DBG_command::DBG_command(const char* n, void (*cb)()) : next(sHead), callback(cb), name(n), serial(sNextSerial++)
{
    sHead = this;
    if (sActivated) DBG_activate_command(this);
}

void DBG_activate_all()
{
    sActivated = 1;
    for (DBG_command* c = sHead; c; c = c->next) DBG_activate_command(c);
}

void DBG_activate_command(DBG_command*)
{
}

DBG_command* DBG_list_head()
{
    return sHead;
}

bool DBG_is_activated()
{
    return sActivated != 0;
}
