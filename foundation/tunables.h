// Registry of named tunables: int and float program variables published under path-like
// names ("fbo/flush_per_frame"), registered by static objects of their owning modules.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>

// One tunable, a static object of the module that declares it; never freed.
// Exactly one of int_ptr and float_ptr is set; a tunable that holds its own value has int_ptr
// pointing at its own `value` (whose 32 bits the owner reads as an int or a float).
struct TunableRec {
    int32_t value = 0;
    unsigned char flags = 0;
    TunableRec* next = nullptr; // registration chain, meaningful only before TUNABLE_init
    int* int_ptr = nullptr;
    float* float_ptr = nullptr;
    const char* name = nullptr; // a literal that lives as long as the program

    // Each constructor registers the record through the matching TUNABLE_register call, so a
    // module declares a tunable with one static definition:
    //   static TunableRec sKillTex("perf/kill_tex", 5, 0);
    //   static TunableRec sLodBias(&gLodBias, "reno/LOD_bias_rat", 5);
    TunableRec() = default;
    TunableRec(int* p, const char* name, unsigned char flags);
    TunableRec(float* p, const char* name, unsigned char flags);
    TunableRec(const char* name, unsigned char flags, int32_t initial);
    TunableRec(const char* name, unsigned char flags, float initial);
    TunableRec(const TunableRec&) = delete; // the registry holds its address
    TunableRec& operator=(const TunableRec&) = delete;
};

// The registering calls fill the record and file it: onto the chain before TUNABLE_init,
// straight into the index afterwards. Each returns the record.
TunableRec& TUNABLE_register_int(TunableRec& rec, int* p, const char* name, unsigned char flags);
TunableRec& TUNABLE_register_float(TunableRec& rec, float* p, const char* name, unsigned char flags);
TunableRec& TUNABLE_register(TunableRec& rec, const char* name, unsigned char flags, int32_t initial);
TunableRec& TUNABLE_register(TunableRec& rec, const char* name, unsigned char flags, float initial);

// The own value of a record registered with TUNABLE_register, read as its owner declared it.
int32_t TUNABLE_own_int(const TunableRec& rec);
float TUNABLE_own_float(const TunableRec& rec);

// Adds the record to the set under its flags byte; a record already there is not added twice.
void TUNABLE_insert(TunableRec* rec);
// Moves every chained record into the index and switches to direct indexing. Called once at start-up.
void TUNABLE_init();
// Receives the text after "--dref:" of one command-line option; tunables keep their values.
void TUNABLE_dref_hook(const std::string& dref);

// Read-only views of the registry state.
typedef std::map<unsigned char, std::set<TunableRec*>> TUNABLE_index_t;
const TUNABLE_index_t& TUNABLE_get_index();
TunableRec* TUNABLE_chain_head();
bool TUNABLE_is_indexed();
