// The tunables registry, the debug-command list and the command name registry with its
// default key bindings.
#include "foundation/debug_cmds.h"
#include "foundation/options.h"
#include "foundation/tunables.h"
#include "frame/hl_commands.h"
#include "frame/hl_keyboard.h"

#include <gtest/gtest.h>

#include <sstream>

// Declared here, at static construction, the way owning modules declare theirs.
static int gTestInt = 11;
static float gTestFloat = 2.5f;
static TunableRec sOwnInt("test/own_int", 5, 0);
static TunableRec sOwnFloat("test/own_float", 5, 5.0f);
static TunableRec sIntPtr(&gTestInt, "test/int_ptr", 2);
static TunableRec sFloatPtr(&gTestFloat, "test/float_ptr", 200);
static TunableRec sDupA("test/dup", 7, 1);
static TunableRec sDupB("test/dup", 7, 2);

static int gCalls = 0;
static void cmd_a() { ++gCalls; }
static void cmd_b() { ++gCalls; }
static DBG_command sCmdA("Test A", cmd_a);
static DBG_command sCmdB("Test B", cmd_b);

static int chain_position(const TunableRec* rec)
{
    int i = 0;
    for (const TunableRec* r = TUNABLE_chain_head(); r && i < 100000; r = r->next, ++i)
        if (r == rec) return i;
    return -1;
}

// Start-up indexes the registry once per process, so the whole life cycle is one test.
TEST(Tunables, ChainThenIndexThenDirectInsertion)
{
    ASSERT_FALSE(TUNABLE_is_indexed());
    EXPECT_TRUE(TUNABLE_get_index().empty());

    // Records as registered.
    EXPECT_EQ(sOwnInt.int_ptr, &sOwnInt.value);
    EXPECT_EQ(sOwnInt.float_ptr, nullptr);
    EXPECT_EQ(TUNABLE_own_int(sOwnInt), 0);
    EXPECT_EQ(sOwnFloat.int_ptr, &sOwnFloat.value);
    EXPECT_EQ(TUNABLE_own_float(sOwnFloat), 5.0f);
    EXPECT_EQ(sIntPtr.int_ptr, &gTestInt);
    EXPECT_EQ(sIntPtr.float_ptr, nullptr);
    EXPECT_EQ(sFloatPtr.float_ptr, &gTestFloat);
    EXPECT_EQ(sFloatPtr.int_ptr, nullptr);
    EXPECT_STREQ(sFloatPtr.name, "test/float_ptr");
    EXPECT_EQ(sFloatPtr.flags, 200);

    // Newest first on the chain.
    const TunableRec* order[] = {&sDupB, &sDupA, &sFloatPtr, &sIntPtr, &sOwnFloat, &sOwnInt};
    int prev = -1;
    for (const TunableRec* r : order) {
        int pos = chain_position(r);
        ASSERT_GT(pos, prev) << r->name;
        prev = pos;
    }

    TUNABLE_init();
    ASSERT_TRUE(TUNABLE_is_indexed());
    const TUNABLE_index_t& index = TUNABLE_get_index();
    auto in_set = [&](unsigned char flags, TunableRec* r) {
        auto it = index.find(flags);
        return it != index.end() && it->second.count(r) == 1;
    };
    EXPECT_TRUE(in_set(5, &sOwnInt));
    EXPECT_TRUE(in_set(5, &sOwnFloat));
    EXPECT_TRUE(in_set(2, &sIntPtr));
    EXPECT_TRUE(in_set(200, &sFloatPtr));
    // Same name twice: both kept, the index does not look at names.
    EXPECT_TRUE(in_set(7, &sDupA));
    EXPECT_TRUE(in_set(7, &sDupB));
    EXPECT_EQ(index.rbegin()->first, 200); // flags compare unsigned
    // The chain links are left as they were.
    EXPECT_GE(chain_position(&sOwnInt), 0);

    // A record is never filed twice.
    size_t before = index.at(5).size();
    TUNABLE_insert(&sOwnInt);
    EXPECT_EQ(index.at(5).size(), before);

    // Registered later: straight into the index, never on the chain.
    TunableRec* head = TUNABLE_chain_head();
    static TunableRec late("test/late", 9, 3);
    EXPECT_EQ(TUNABLE_chain_head(), head);
    EXPECT_EQ(late.next, nullptr);
    EXPECT_EQ(chain_position(&late), -1);
    EXPECT_TRUE(in_set(9, &late));
    static float lateFloat = 1.0f;
    static TunableRec lateF;
    EXPECT_EQ(&TUNABLE_register_float(lateF, &lateFloat, "test/late_f", 9), &lateF);
    EXPECT_TRUE(in_set(9, &lateF));

    // "--dref:" options reach the hook and change nothing.
    std::ostringstream log;
    CMDLINE_tokenize(gOptions, "--dref:test/own_int=7 --dref:test/int_ptr=3 --dref:test/own_float=1 --dref:", log);
    CMDLINE_apply_drefs();
    EXPECT_EQ(TUNABLE_own_int(sOwnInt), 0);
    EXPECT_EQ(TUNABLE_own_float(sOwnFloat), 5.0f);
    EXPECT_EQ(gTestInt, 11);
    EXPECT_EQ(gTestFloat, 2.5f);
}

TEST(DebugCommands, NewestFirstAndLateOnesNumberedOn)
{
    EXPECT_EQ(sCmdB.serial, sCmdA.serial + 1);
    EXPECT_EQ(sCmdA.callback, &cmd_a);
    EXPECT_STREQ(sCmdB.name, "Test B");
    int seen = 0, posA = -1, posB = -1, maxSerial = 0;
    for (DBG_command* c = DBG_list_head(); c && seen < 100000; c = c->next, ++seen) {
        if (c == &sCmdA) posA = seen;
        if (c == &sCmdB) posB = seen;
        maxSerial = std::max(maxSerial, (int)c->serial);
    }
    ASSERT_GE(posB, 0);
    EXPECT_EQ(posA, posB + 1);

    DBG_activate_all();
    EXPECT_TRUE(DBG_is_activated());
    static DBG_command late("Test late", cmd_a);
    EXPECT_EQ(late.serial, maxSerial + 1);
    EXPECT_EQ(DBG_list_head(), &late);
    EXPECT_EQ(late.next->serial, maxSerial);
    EXPECT_EQ(gCalls, 0); // nothing runs a command
}

TEST(Commands, FindNameAndDescription)
{
    EXPECT_EQ(CMD_count(), 28);
    EXPECT_EQ(CMD_find("sim/operation/quit"), 3);
    EXPECT_EQ(CMD_find("SIM/OPERATION/QUIT"), 0);
    EXPECT_EQ(CMD_find("sim/operation/quit/"), 0);
    EXPECT_EQ(CMD_find("sim/operation/qui"), 0);
    EXPECT_EQ(CMD_find(""), 0);
    EXPECT_EQ(CMD_find("sim/general/rot_right_fast"), 27);
    EXPECT_EQ(CMD_get_name(2), "sim/operation/quicktime_record_toggle");
    EXPECT_EQ(CMD_get_description(2), "Toggle recording of QuickTime movie.");
    EXPECT_EQ(CMD_get_description(25), "General command: tilt down fast.");
    const CMD_registry& reg = CMD_get_registry();
    EXPECT_EQ(reg.enumerators[cmnd_quit], "cmnd_quit");
    EXPECT_EQ(reg.enumerators[cmnd_v_rot_RGT], "cmnd_v_rot_RGT");
    EXPECT_EQ(reg.types[cmnd_scrshot], 2);
    EXPECT_EQ(reg.types[cmnd_gen_lft], 3);
    // Every name is unique and found at its own row.
    for (int i = 0; i < CMD_count(); ++i) EXPECT_EQ(CMD_find(CMD_get_name(i)), i) << i;
}

TEST(Commands, ListUnderPrefix)
{
    typedef std::vector<std::string> L;
    auto list = [](const std::string& prefix) {
        L out;
        CMD_list_prefix(prefix, out);
        return out;
    };
    EXPECT_EQ(list("sim/"), (L{"none/", "operation/", "general/"}));
    EXPECT_EQ(list("sim/operation/"), (L{"screenshot", "quicktime_record_toggle", "quit"}));
    EXPECT_EQ(list(""), (L{"sim/"}));
    EXPECT_EQ(list("sim"), (L{"/"}));
    EXPECT_EQ(list("sim/general/up"), (L{"_fast"}));
    EXPECT_EQ(list("sim/general/rot_"), (L{"up", "down", "left", "right", "up_fast", "down_fast", "left_fast",
                                           "right_fast"}));
    EXPECT_EQ(list("sim/none/none"), L{});
    // The output is appended to, not emptied; a prefix that matches nothing leaves it alone.
    L out = {"keep"};
    CMD_list_prefix("zzz", out);
    EXPECT_EQ(out, L{"keep"});
    CMD_list_prefix("sim/", out);
    EXPECT_EQ(out, (L{"keep", "none/", "operation/", "general/"}));
}

TEST(Commands, DefaultBindings)
{
    CMD_init_builtin(0);
    ASSERT_EQ(gKeyboard.bindings.size(), 26u);
    // Rows 0 and 3 have no key; the rest keep table order with their own command index.
    int row = 0;
    for (const KEY_binding& b : gKeyboard.bindings) {
        while (row == cmnd_nothing || row == cmnd_quit) ++row;
        EXPECT_EQ(b.command, row);
        EXPECT_EQ(b.key, CMD_builtin_table[row].key);
        EXPECT_EQ(b.modifiers, CMD_builtin_table[row].modifiers);
        EXPECT_EQ(b.held, 0);
        ++row;
    }
    EXPECT_EQ(gKeyboard.bindings[0].key, 32);
    EXPECT_EQ(gKeyboard.bindings[0].modifiers, 1);
    EXPECT_EQ(gKeyboard.bindings[1].modifiers, 4);
    EXPECT_EQ(gKeyboard.bindings[25].key, 69);
    EXPECT_EQ(gKeyboard.bindings[25].command, cmnd_v_rot_RGT);

    // Loading again replaces rather than adds; the shutdown call changes nothing.
    CMD_init_builtin(0);
    EXPECT_EQ(gKeyboard.bindings.size(), 26u);
    gKeyboard.bindings[0].held = 1;
    CMD_init_builtin(1);
    EXPECT_EQ(gKeyboard.bindings.size(), 26u);
    EXPECT_EQ(gKeyboard.bindings[0].held, 1);
}
