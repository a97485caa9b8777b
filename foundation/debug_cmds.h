// Debug commands: named actions without arguments that modules offer for diagnosis, each a
// static object that links itself into one global list.
#pragma once
#include <cstdint>

struct DBG_command {
    DBG_command* next;  // the command declared before this one; null at the end
    void (*callback)(); // nothing in this program runs it: the list records what is on offer
    const char* name;   // a literal that lives as long as the program
    int32_t serial;     // declaration number, from 1

    // Links the command at the front of the list and activates it at once when the list has
    // already been activated.
    DBG_command(const char* name, void (*callback)());
    ~DBG_command() {} // the command stays on the list until the process ends
    DBG_command(const DBG_command&) = delete;
    DBG_command& operator=(const DBG_command&) = delete;
};

// Activates every listed command, newest first; commands declared later activate themselves.
void DBG_activate_all();
// The per-command activation hook.
void DBG_activate_command(DBG_command* cmd);

// Read-only views of the list state.
DBG_command* DBG_list_head();
bool DBG_is_activated();
